' 10 series of 60,000 points each: y = sin(x / 50 + k) * x.
Dim k, i
For k = 0 To 9
    Graf.CreateSeries
    For i = 0 To 59999
        Graf.AddPointToSeries k, i, Sin(i / 50 + k) * i
    Next
Next
Graf.ReDrawGraph
