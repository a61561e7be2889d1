// Bessel functions J0 to J3 and Y0 from Sumtrel.MathClass
// MathClass computes Bessel functions of the first kind (J0, J1, Jn) and
// of the second kind (Y0, Y1, Yn). Y is only defined for x > 0, so its
// curve starts a little after 0.
function bessel() {
    var math = new ActiveXObject("Sumtrel.MathClass");
    var colours = [Graf.ColorRGB(200, 30, 30), Graf.ColorRGB(30, 140, 30),
                   Graf.ColorRGB(30, 60, 200), Graf.ColorRGB(150, 60, 170)];
    var first = Graf.CountSeries();
    for (var n = 0; n <= 3; n++) {      // J0 .. J3: series first .. first + 3
        Graf.CreateSeries();
        for (var i = 0; i <= 400; i++)
            Graf.AddPointToSeries(first + n, i / 20, math.Jn(n, i / 20));
        Graf.SetPropertySeries(first + n, 255, colours[n]);
    }
    Graf.CreateSeries();                // Y0, half transparent
    for (var i = 1; i <= 400; i++)
        Graf.AddPointToSeries(first + 4, i / 20, math.Y0(i / 20));
    Graf.SetPropertySeries(first + 4, 120, Graf.ColorRGB(0, 0, 0));
    Graf.ReDrawGraph();
    Graf.SetBox(0, -1, 20, 2);          // Y0 falls away near 0: keep the view steady
    Graf.SetAxisTitles("@ln@x", "@ln@J@dn@n@ln@(x), Y@dn@0@ln@(x)");
}

bessel();
