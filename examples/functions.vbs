' Functions that you call after the run. The run draws a spiral; each of
' the functions below redraws the graph, and the program lists them (those
' without parameters) so that you can call one.
' Run it:  quillan --run examples/functions.vbs --call Rose --export rose.jpg
Option Explicit

Const Pi = 3.14159265358979

Sub Spiral()
    Dim i, t
    Graf.Clear
    Graf.CreateSeries
    For i = 0 To 1500
        t = i / 100
        Graf.AddPointToSeries 0, t * Cos(t), t * Sin(t)
    Next
    Graf.SetPropertySeries 0, 255, Graf.ColorRGB(180, 40, 40)
    Graf.ReDrawGraph
End Sub

Sub Rose()
    Dim i, t, r
    Graf.Clear
    Graf.CreateSeries
    For i = 0 To 2000
        t = 2 * Pi * i / 2000
        r = Cos(4 * t)
        Graf.AddPointToSeries 0, r * Cos(t), r * Sin(t)
    Next
    Graf.SetPropertySeries 0, 220, Graf.ColorRGB(160, 30, 120)
    Graf.DrawPoints 0, 3
    Graf.ReDrawGraph
End Sub

' Not listed: it needs an argument.
Function Square(x)
    Square = x * x
End Function

Spiral
