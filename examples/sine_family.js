// The same family of sine curves in JScript.
// Run it:  quillan --run examples/sine_family.js --export sines.jpg
var curves = 6, points = 600;

for (var k = 0; k < curves; k++) {
    Graf.CreateSeries();
    var amplitude = 1 + k * 0.25;
    for (var i = 0; i <= points; i++) {
        var x = i / 50;
        Graf.AddPointToSeries(k, x, amplitude * Math.sin(x + k * 0.5));
    }
    // Alpha 255 is opaque, 0 invisible; colours are red + 256 * green + 65536 * blue.
    Graf.SetPropertySeries(k, 255 - k * 35, Graf.ColorRGB(40 * k, 60, 255 - 40 * k));
}

Graf.SetAxisTitles("@ln@x", "@ln@A sin(x + k/2)");
Graf.ReDrawGraph();
