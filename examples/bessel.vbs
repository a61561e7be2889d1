' Bessel functions of the first kind, J0 to J3, computed by the math
' library's MathClass object.
' Run it:  quillan --run examples/bessel.vbs --export bessel.jpg
Option Explicit

Dim math, n, i, x, colours
Set math = CreateObject("Sumtrel.MathClass")
colours = Array(Graf.ColorRGB(200, 30, 30), Graf.ColorRGB(30, 140, 30), _
                Graf.ColorRGB(30, 60, 200), Graf.ColorRGB(150, 60, 170))

For n = 0 To 3
    Graf.CreateSeries
    For i = 0 To 500
        x = i / 25
        Graf.AddPointToSeries n, x, math.Jn(n, x)
    Next
    Graf.SetPropertySeries n, 255, colours(n)
Next

Graf.SetAxisTitles "@ln@x", "@ln@J@dn@n@ln@(x)"
Graf.ReDrawGraph
