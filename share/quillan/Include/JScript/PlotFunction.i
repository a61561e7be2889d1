// Plot a function y = f(x) over a range of x
// Draws y = f(x) for x from xFrom to xTo in steps equal steps. Change the
// formula in plotFunction_f and the range in plotFunction; call
// plotFunction again from the "Script functions" list after an edit.
function plotFunction_f(x) {
    return Math.sin(x) * Math.exp(-x / 5);
}

function plotFunction() {
    var xFrom = 0, xTo = 20, steps = 400;
    var series = Graf.CountSeries();   // the new series gets the next number
    Graf.CreateSeries();
    for (var i = 0; i <= steps; i++) {
        var x = xFrom + (xTo - xFrom) * i / steps;
        Graf.AddPointToSeries(series, x, plotFunction_f(x));
    }
    Graf.SetPropertySeries(series, 255, Graf.ColorRGB(0, 90, 200));
    Graf.SetAxisTitles("@ln@x", "@ln@f(x) = sin x e@lu@-x/5");
    Graf.ReDrawGraph();                // fits the box to the data and repaints
}

plotFunction();
