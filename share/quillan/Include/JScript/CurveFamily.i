// A family of curves, each with its own colour and transparency
// Draws y = x^k / k! e^-x for k = 1 to curves. Each curve gets a colour
// from ColorRGB(red, green, blue) and an alpha from 255 (opaque) down to
// 0 (invisible), so the later curves are lighter and let the earlier
// ones show through where they cross.
function curveFamily() {
    var curves = 8, steps = 300;
    var first = Graf.CountSeries(), factorial = 1;
    for (var k = 1; k <= curves; k++) {
        factorial *= k;
        Graf.CreateSeries();
        for (var i = 0; i <= steps; i++) {
            var x = 20 * i / steps;
            Graf.AddPointToSeries(first + k - 1, x, Math.pow(x, k) / factorial * Math.exp(-x));
        }
        // From opaque red to a faint blue.
        Graf.SetPropertySeries(first + k - 1, 255 - (k - 1) * 25,
                               Graf.ColorRGB(230 - (k - 1) * 28, 40, 30 + (k - 1) * 28));
    }
    Graf.SetAxisTitles("@ln@x", "@ln@x@lu@k@ln@ e@lu@-x@ln@ / k!");
    Graf.ReDrawGraph();
}

curveFamily();
