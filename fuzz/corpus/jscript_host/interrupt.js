var i = 0;
while (true) { i++; if (Host.echo(i) < 0) break; }
