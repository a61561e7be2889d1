// Complex numbers with Sumtrel.complex: the map w = exp(z) of a grid
' Sumtrel.complex takes a complex number as two numbers (real part,
' imaginary part). Functions that give a complex result write it into the
' two variables passed last; abs, arg and norm return a number.
' Here the lines of a grid in the z plane are mapped by w = exp(z):
' horizontal lines become rays, vertical lines become circles.
Sub ComplexMap()
    Const Pi = 3.14159265358979
    Dim c, series, line, i, re, im, u, v
    Set c = CreateObject("Sumtrel.complex")
    For line = 0 To 6              ' horizontal lines Im z = constant: rays
        series = Graf.CountSeries
        Graf.CreateSeries
        For i = 0 To 100
            c.exp -1 + i / 100, line * Pi / 6, u, v
            Graf.AddPointToSeries series, u, v
        Next
        Graf.SetPropertySeries series, 200, Graf.ColorRGB(200, 60, 30)
    Next
    For line = 0 To 4              ' vertical lines Re z = constant: circles
        series = Graf.CountSeries
        Graf.CreateSeries
        For i = 0 To 200
            re = -1 + line / 4     ' |exp(z)| = exp(Re z): the circle's radius
            im = 2 * Pi * i / 200
            c.exp re, im, u, v
            Graf.AddPointToSeries series, u, v
        Next
        Graf.SetPropertySeries series, 200, Graf.ColorRGB(30, 80, 200)
    Next
    ' abs gives the modulus of a complex number: |3 + 4i| = 5.
    Graf.SetAxisTitles "@ln@Re exp(z)", "@ln@Im exp(z), |3+4i| = " & c.abs(3, 4)
    Graf.ReDrawGraph
End Sub

ComplexMap
