var a = Host.echo(42), b = Host.echo("text"), c = Host.echo(null), d = Host.echo(undefined);
var e = Host.echo(1.5e300) + Host.echo(true) + Host.echo(-0);
for (var k = 0; k < 32; k++) { var v = Host.make(k, "12.5"); var t = typeof v; }
Host.prop = { x: 1 }; var p = Host.prop;
var n = Host.count(1, "a", [1, 2], function () {}, new Date(0), /re/g);
