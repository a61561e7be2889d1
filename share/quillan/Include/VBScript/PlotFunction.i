// Plot a function y = f(x) over a range of x
' Draws y = f(x) for x from XFrom to XTo in Steps equal steps. Change the
' formula in PlotFunction_f and the range in PlotFunction; call
' PlotFunction again from the "Script functions" list after an edit.
Function PlotFunction_f(x)
    PlotFunction_f = Sin(x) * Exp(-x / 5)
End Function

Sub PlotFunction()
    Const XFrom = 0, XTo = 20, Steps = 400
    Dim series, i, x
    series = Graf.CountSeries      ' the new series gets the next number
    Graf.CreateSeries
    For i = 0 To Steps
        x = XFrom + (XTo - XFrom) * i / Steps
        Graf.AddPointToSeries series, x, PlotFunction_f(x)
    Next
    Graf.SetPropertySeries series, 255, Graf.ColorRGB(0, 90, 200)
    Graf.SetAxisTitles "@ln@x", "@ln@f(x) = sin x e@lu@-x/5"
    Graf.ReDrawGraph               ' fits the box to the data and repaints
End Sub

PlotFunction
