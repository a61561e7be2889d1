// Series objects from Tarvik.Series kept in a Tarvik.SeriesHolder
// A Tarvik.Series holds points with a title, a colour and an alpha,
// outside the graph; a Tarvik.SeriesHolder keeps such series in order.
// Here each series records a damped oscillation with its style; then the
// holder is walked and each series is drawn on the graph in its style.
function seriesObjects() {
    var holder = new ActiveXObject("Tarvik.SeriesHolder");
    var xs = [], curves = [];
    for (var i = 0; i <= 200; i++) xs.push(i / 10);
    for (var k = 0; k < 3; k++) {
        var s = new ActiveXObject("Tarvik.Series");
        s.title = String((k + 1) / 10);
        s.color = Graf.ColorRGB(40 + 80 * k, 60, 220 - 80 * k);
        s.alpha = 255 - 60 * k;
        var ys = [];
        for (var i = 0; i <= 200; i++) ys.push(Math.cos(xs[i]) * Math.exp(-xs[i] * (k + 1) / 10));
        s.SetXYVar(xs, ys);             // the series takes all the points at once
        holder.Add(s);
        curves.push(ys);                // kept for drawing
    }
    // A script reads back a Series' style (title, color, alpha, IsView...);
    // the graph gets the points with SetPointVar.
    var first = Graf.CountSeries(), names = [];
    for (var k = 0; k < holder.Count; k++) {
        var s = holder.Item(k);
        Graf.CreateSeries();
        Graf.SetPointVar(first + k, xs, curves[k]);
        Graf.SetPropertySeries(first + k, s.alpha, s.color);
        names.push(s.title);
    }
    Graf.SetAxisTitles("@ln@x", "@ln@damping " + names.join(", "));
    Graf.ReDrawGraph();
}

seriesObjects();
