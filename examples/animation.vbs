' An animation written as numbered JPEG frames: a travelling wave. Each
' frame is drawn, kept with AddFrame and written to frames/wave_NNN.jpg
' (the folder must exist; create it first: mkdir frames).
' Run it:  mkdir -p frames && quillan --run examples/animation.vbs
Option Explicit

Const Frames = 12
Dim frame, i, x, name

Graf.CreateSeries
Graf.SetPropertySeries 0, 255, Graf.ColorRGB(0, 120, 200)
For frame = 1 To Frames
    Graf.RemoveData 0
    For i = 0 To 300
        x = i / 30
        Graf.AddPointToSeries 0, x, Sin(x - frame * 0.5) * Exp(-x / 8)
    Next
    ' ReDrawGraph fits the box to the data; a fixed box keeps the frames steady.
    Graf.ReDrawGraph
    Graf.SetBox 0, -1.2, 10, 2.4
    name = "wave_" & Right("00" & frame, 3)
    Graf.AddFrame name
    Graf.LoadStreamFromDocToFile "frames/" & name & ".jpg", name
Next
