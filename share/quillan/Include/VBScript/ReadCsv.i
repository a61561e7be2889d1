// Read a CSV file with FileSystemObject and plot two of its columns
' Reads "data.csv" (a header line, then numbers separated by commas) and
' plots its second column against its first. Change the path and columns.
Dim fso, stream, fields
Set fso = CreateObject("Scripting.FileSystemObject")
Set stream = fso.OpenTextFile("data.csv", 1)
stream.SkipLine
Graf.CreateSeries
Do Until stream.AtEndOfStream
    fields = Split(stream.ReadLine, ",")
    Graf.AddPointToSeries 0, CDbl(fields(0)), CDbl(fields(1))
Loop
stream.Close
Graf.SetAxisTitles "@ln@x", "@ln@y"
Graf.ReDrawGraph
