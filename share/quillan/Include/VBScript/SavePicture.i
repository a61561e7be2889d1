// Save the graph as a JPEG picture file
' AddFrame keeps the graph as it is drawn now under a name;
' LoadStreamFromDocToFile writes that kept picture to a file. A name
' without a folder lands in the current folder (the folder Quillan was
' started from); write a full path to put it elsewhere.
Sub SavePicture()
    Const File = "graph.jpg"
    Dim series, i, t
    series = Graf.CountSeries
    Graf.CreateSeries
    For i = 0 To 1000              ' a rose curve r = cos 3t
        t = 3.14159265358979 * i / 1000
        Graf.AddPointToSeries series, Cos(3 * t) * Cos(t), Cos(3 * t) * Sin(t)
    Next
    Graf.SetPropertySeries series, 255, Graf.ColorRGB(170, 30, 110)
    Graf.SetAxisTitles "@ln@x", "@ln@y"
    Graf.ReDrawGraph
    Graf.AddFrame "picture"
    Graf.LoadStreamFromDocToFile File, "picture"
End Sub

SavePicture
