// A Lissajous figure: x = sin(a t + delta), y = sin(b t), with Greek letters
// and a subscript in the axis titles. In a title, "@" switches style: "gn"
// is the symbol font (a = alpha, b = beta, d = delta, t = tau), "ln" plain
// text, "dn" a subscript and "lu" a superscript.
// Run it:  quillan --run examples/lissajous.js --export lissajous.jpg
var a = 3, b = 4, delta = Math.PI / 2;
var steps = 2000;

Graf.CreateSeries();
for (var i = 0; i <= steps; i++) {
    var t = 2 * Math.PI * i / steps;
    Graf.AddPointToSeries(0, Math.sin(a * t + delta), Math.sin(b * t));
}
Graf.SetPropertySeries(0, 230, Graf.ColorRGB(20, 90, 170));
Graf.SetAxisTitles("@ln@x = sin(@gn@a t + d@ln@)", "@ln@y = sin(@gn@b t@ln@), t@dn@0@ln@ = 0");
Graf.ReDrawGraph();
