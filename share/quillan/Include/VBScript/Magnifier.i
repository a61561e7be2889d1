// The magnifier: a region of the graph shown enlarged in a window on it
' SetZoomRect places the magnifier window on the graph (in pixels from the
' top left corner); Magnifier x, y, w, h shows that world rectangle in it.
' SetAutoZoom 1 makes the magnifier follow the mouse pointer instead.
Sub MagnifierDemo()
    Dim series, i, x
    series = Graf.CountSeries
    Graf.CreateSeries
    For i = 0 To 2000              ' a slow wave with a fast ripple on it
        x = i / 100
        Graf.AddPointToSeries series, x, Sin(x) + 0.05 * Sin(40 * x)
    Next
    Graf.SetPropertySeries series, 255, Graf.ColorRGB(20, 100, 60)
    Graf.SetAxisTitles "@ln@x", "@ln@sin x + 0.05 sin 40x"
    Graf.ReDrawGraph
    Graf.SetAutoZoom 0
    Graf.SetZoomRect 420, 260, 300, 200
    Graf.Magnifier 1, 0.6, 1.5, 0.5  ' the ripple near the first peak
End Sub

MagnifierDemo
