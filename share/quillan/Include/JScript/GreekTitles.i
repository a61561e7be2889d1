// Axis titles with Greek letters, subscripts and superscripts
// A title is cut at "@" into style codes and texts, starting with a code.
// The code's first letter is the font: l plain text, g Greek (a is alpha,
// b beta, d delta, w omega, t tau, p pi...), d a subscript; the second
// letter is the position: n on the line, u raised. Two raised or lowered
// pieces in a row stack at one place: "@ln@x@dn@0@lu@2" is x with 0 below
// and 2 above. A title without any "@" shows nothing.
function greekTitles() {
    var series = Graf.CountSeries();
    Graf.CreateSeries();
    for (var i = 0; i <= 600; i++) {    // a damped oscillation
        var t = i / 50;
        Graf.AddPointToSeries(series, t, Math.exp(-0.3 * t) * Math.cos(4 * t));
    }
    Graf.SetPropertySeries(series, 255, Graf.ColorRGB(30, 60, 160));
    // y reads: alpha = e^-0.3t cos omega0 t (omega0 = 4 here).
    Graf.SetAxisTitles("@ln@time t, s", "@gn@a@ln@ = e@lu@-0.3t@ln@ cos @gn@w@dn@0@ln@t");
    Graf.ReDrawGraph();
}

greekTitles();
