// A family of curves, each with its own colour and transparency
' Draws y = x^k / k! e^-x for k = 1 to Curves. Each curve gets a colour
' from ColorRGB(red, green, blue) and an alpha from 255 (opaque) down to
' 0 (invisible), so the later curves are lighter and let the earlier
' ones show through where they cross.
Sub CurveFamily()
    Const Curves = 8, Steps = 300
    Dim first, k, i, x, factorial
    first = Graf.CountSeries
    factorial = 1
    For k = 1 To Curves
        factorial = factorial * k
        Graf.CreateSeries
        For i = 0 To Steps
            x = 20 * i / Steps
            Graf.AddPointToSeries first + k - 1, x, x ^ k / factorial * Exp(-x)
        Next
        ' From opaque red to a faint blue.
        Graf.SetPropertySeries first + k - 1, 255 - (k - 1) * 25, _
            Graf.ColorRGB(230 - (k - 1) * 28, 40, 30 + (k - 1) * 28)
    Next
    Graf.SetAxisTitles "@ln@x", "@ln@x@lu@k@ln@ e@lu@-x@ln@ / k!"
    Graf.ReDrawGraph
End Sub

CurveFamily
