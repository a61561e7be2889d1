// Complex numbers with Sumtrel.complex: gain and phase of a filter
// Sumtrel.complex takes a complex number as two numbers (real part,
// imaginary part); abs gives its modulus, arg its angle and norm the
// square of the modulus. (Its other functions write their result into
// two variables passed by reference, which JScript cannot do: in JScript
// compute such values yourself, as here, and use abs, arg and norm.)
// Drawn: the gain |H| and phase arg H of H(w) = 1 / (1 - w^2 + i w / q)
// for three values of q, against the frequency w.
function complexFilter() {
    var c = new ActiveXObject("Sumtrel.complex");
    var qs = [0.5, 1, 4];
    var first = Graf.CountSeries();
    for (var k = 0; k < qs.length; k++) {
        Graf.CreateSeries();            // gain
        Graf.CreateSeries();            // phase, in units of pi
        for (var i = 1; i <= 300; i++) {
            var w = i / 100;
            // 1 / (a + i b) = (a - i b) / (a^2 + b^2)
            var a = 1 - w * w, b = w / qs[k], d = a * a + b * b;
            var re = a / d, im = -b / d;
            Graf.AddPointToSeries(first + 2 * k, w, c.abs(re, im));
            Graf.AddPointToSeries(first + 2 * k + 1, w, c.arg(re, im) / Math.PI);
        }
        var colour = Graf.ColorRGB(40 + 90 * k, 60, 220 - 90 * k);
        Graf.SetPropertySeries(first + 2 * k, 255, colour);
        Graf.SetPropertySeries(first + 2 * k + 1, 110, colour);   // fainter
    }
    Graf.SetAxisTitles("@gn@w", "@ln@|H(@gn@w@ln@)|, arg H / @gn@p");
    Graf.ReDrawGraph();
}

complexFilter();
