// Animation frames written as numbered JPEG files frames/wave_001.jpg ...
// Each frame is drawn, kept with AddFrame under a name, and written with
// LoadStreamFromDocToFile. The pictures go to the folder "frames" in the
// current folder (the folder Quillan was started from), made here when
// it is missing; write a full path to put them elsewhere.
function animation() {
    var frames = 12, folder = "frames";
    var fso = new ActiveXObject("Scripting.FileSystemObject");
    if (!fso.FolderExists(folder)) fso.CreateFolder(folder);
    var series = Graf.CountSeries();
    Graf.CreateSeries();
    Graf.SetPropertySeries(series, 255, Graf.ColorRGB(0, 120, 200));
    for (var frame = 1; frame <= frames; frame++) {
        Graf.RemoveData(series);        // the series keeps its number and colour
        for (var i = 0; i <= 300; i++) {
            var x = i / 30;
            Graf.AddPointToSeries(series, x, Math.sin(x - frame * 0.5) * Math.exp(-x / 8));
        }
        Graf.ReDrawGraph();
        Graf.SetBox(0, -1.2, 10, 2.4);  // a fixed box keeps the frames steady
        var name = "wave_" + ("00" + frame).slice(-3);
        Graf.AddFrame(name);            // the first frame of a name stays
        Graf.LoadStreamFromDocToFile(folder + "/" + name + ".jpg", name);
    }
}

animation();
