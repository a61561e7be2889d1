// Bessel functions J0 to J3 and Y0 from Sumtrel.MathClass
' MathClass computes Bessel functions of the first kind (J0, J1, Jn) and
' of the second kind (Y0, Y1, Yn). Y is only defined for x > 0, so its
' curve starts a little after 0.
Sub Bessel()
    Dim math, first, n, i, x, colours
    Set math = CreateObject("Sumtrel.MathClass")
    colours = Array(Graf.ColorRGB(200, 30, 30), Graf.ColorRGB(30, 140, 30), _
                    Graf.ColorRGB(30, 60, 200), Graf.ColorRGB(150, 60, 170))
    first = Graf.CountSeries
    For n = 0 To 3                 ' J0 .. J3: series first .. first + 3
        Graf.CreateSeries
        For i = 0 To 400
            x = i / 20
            Graf.AddPointToSeries first + n, x, math.Jn(n, x)
        Next
        Graf.SetPropertySeries first + n, 255, colours(n)
    Next
    Graf.CreateSeries              ' Y0, half transparent
    For i = 1 To 400
        x = i / 20
        Graf.AddPointToSeries first + 4, x, math.Y0(x)
    Next
    Graf.SetPropertySeries first + 4, 120, Graf.ColorRGB(0, 0, 0)
    Graf.ReDrawGraph
    Graf.SetBox 0, -1, 20, 2       ' Y0 falls away near 0: keep the view steady
    Graf.SetAxisTitles "@ln@x", "@ln@J@dn@n@ln@(x), Y@dn@0@ln@(x)"
End Sub

Bessel
