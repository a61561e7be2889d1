// Animation frames written as numbered JPEG files frames/wave_001.jpg ...
' Each frame is drawn, kept with AddFrame under a name, and written with
' LoadStreamFromDocToFile. The pictures go to the folder "frames" in the
' current folder (the folder Quillan was started from), made here when
' it is missing; write a full path to put them elsewhere.
Sub Animation()
    Const Frames = 12, Folder = "frames"
    Dim fso, series, frame, i, x, name
    Set fso = CreateObject("Scripting.FileSystemObject")
    If Not fso.FolderExists(Folder) Then fso.CreateFolder Folder
    series = Graf.CountSeries
    Graf.CreateSeries
    Graf.SetPropertySeries series, 255, Graf.ColorRGB(0, 120, 200)
    For frame = 1 To Frames
        Graf.RemoveData series     ' the series keeps its number and colour
        For i = 0 To 300
            x = i / 30
            Graf.AddPointToSeries series, x, Sin(x - frame * 0.5) * Exp(-x / 8)
        Next
        Graf.ReDrawGraph
        Graf.SetBox 0, -1.2, 10, 2.4   ' a fixed box keeps the frames steady
        name = "wave_" & Right("00" & frame, 3)
        Graf.AddFrame name             ' the first frame of a name stays
        Graf.LoadStreamFromDocToFile Folder & "/" & name & ".jpg", name
    Next
End Sub

Animation
