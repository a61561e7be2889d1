// Series objects from Tarvik.Series kept in a Tarvik.SeriesHolder
' A Tarvik.Series holds points with a title, a colour and an alpha,
' outside the graph; a Tarvik.SeriesHolder keeps such series in order.
' Here each series records a damped oscillation with its style; then the
' holder is walked and each series is drawn on the graph in its style.
Sub SeriesObjects()
    Dim holder, s, k, i, xs(200), ys(200), curves(2), first, names
    Set holder = CreateObject("Tarvik.SeriesHolder")
    For k = 0 To 2
        Set s = CreateObject("Tarvik.Series")
        s.title = CStr((k + 1) / 10)
        s.color = Graf.ColorRGB(40 + 80 * k, 60, 220 - 80 * k)
        s.alpha = 255 - 60 * k
        For i = 0 To 200
            xs(i) = i / 10
            ys(i) = Cos(xs(i)) * Exp(-xs(i) * (k + 1) / 10)
        Next
        s.SetXYVar xs, ys          ' the series takes all the points at once
        holder.Add s
        curves(k) = ys             ' a copy of the y values, for drawing
    Next
    ' A script reads back a Series' style (title, color, alpha, IsView...);
    ' the graph gets the points with SetPointVar.
    first = Graf.CountSeries
    For k = 0 To holder.Count - 1
        Set s = holder.Item(k)
        Graf.CreateSeries
        Graf.SetPointVar first + k, xs, curves(k)
        Graf.SetPropertySeries first + k, s.alpha, s.color
        If k > 0 Then names = names & ", "
        names = names & s.title
    Next
    Graf.SetAxisTitles "@ln@x", "@ln@damping " & names
    Graf.ReDrawGraph
End Sub

SeriesObjects
