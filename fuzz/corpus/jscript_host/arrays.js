var arr = Host.make(23, 7, 0x1234);
var vb = new VBArray(arr);
var list = vb.toArray(); var dims = vb.dimensions(); var ub = vb.ubound(1);
var m = Host.make(24, "x", 0x2222);
var s = Host.convert("2024-01-02", 7) + Host.convert(3.75, 3) + Host.convert("&HFF", 17);
var dt = Host.make(15, 45000.25); var when = new Date(dt);
