' Plots two columns of a CSV file: a damped oscillation measured at 2,000
' points, and the envelope it decays within.
' Run it from this folder or the one above:
'     quillan --run examples/csv_plot.vbs --export oscillation.jpg
Option Explicit

Const ForReading = 1
Dim fso, path, stream, header, fields, columns, i

Set fso = CreateObject("Scripting.FileSystemObject")
path = "data/damped_oscillation.csv"
If Not fso.FileExists(path) Then path = "examples/data/damped_oscillation.csv"
Set stream = fso.OpenTextFile(path, ForReading)

' The first line names the columns; keep their positions by name.
header = Split(stream.ReadLine, ",")
Set columns = CreateObject("Scripting.Dictionary")
For i = 0 To UBound(header)
    columns.Add header(i), i
Next

Graf.CreateSeries   ' 0: the measured displacement
Graf.CreateSeries   ' 1: the envelope
Do Until stream.AtEndOfStream
    fields = Split(stream.ReadLine, ",")
    Graf.AddPointToSeries 0, CDbl(fields(columns("time_s"))), CDbl(fields(columns("displacement_mm")))
    Graf.AddPointToSeries 1, CDbl(fields(columns("time_s"))), CDbl(fields(columns("envelope_mm")))
Loop
stream.Close

Graf.SetPropertySeries 0, 255, Graf.ColorRGB(20, 90, 170)
Graf.SetPropertySeries 1, 160, Graf.ColorRGB(200, 40, 40)
Graf.SetAxisTitles "@ln@time (s)", "@ln@displacement (mm)"
Graf.ReDrawGraph
