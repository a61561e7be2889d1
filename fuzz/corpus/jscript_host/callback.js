function twice(x) { return x * 2; }
var r = Host.call(twice, 21);
r = Host.call(function (a, b) { return Host.call(twice, a + b); }, 1, 2);
try { Host.fail(-2147352567, "host failure"); } catch (e) { r = e.message + e.number; }
try { Host.nosuch(); } catch (e) { r = String(e); }
try { Host.call(1); } catch (e) { r = e.description; }
