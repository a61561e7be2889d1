' A family of sine curves, each with its own colour and transparency.
' Run it:  quillan --run examples/sine_family.vbs --export sines.jpg
Option Explicit

Const Curves = 6
Const Points = 600
Dim k, i, x, amplitude

For k = 0 To Curves - 1
    Graf.CreateSeries
    amplitude = 1 + k * 0.25
    For i = 0 To Points
        x = i / 50
        Graf.AddPointToSeries k, x, amplitude * Sin(x + k * 0.5)
    Next
    ' From opaque blue to a faint red: alpha 255 is opaque, 0 invisible.
    Graf.SetPropertySeries k, 255 - k * 35, Graf.ColorRGB(40 * k, 60, 255 - 40 * k)
Next

Graf.SetAxisTitles "@ln@x", "@ln@A sin(x + k/2)"
Graf.ReDrawGraph
