' The same 10 series of 60,000 points, computed into arrays and handed to the
' graph one series at a time with SetPointVar.
Dim k, i, xs(59999), ys(59999)
For i = 0 To 59999
    xs(i) = i
Next
For k = 0 To 9
    Graf.CreateSeries
    For i = 0 To 59999
        ys(i) = Sin(i / 50 + k) * i
    Next
    Graf.SetPointVar k, xs, ys
Next
Graf.ReDrawGraph
