// Save the graph as a JPEG picture file
// AddFrame keeps the graph as it is drawn now under a name;
// LoadStreamFromDocToFile writes that kept picture to a file. A name
// without a folder lands in the current folder (the folder Quillan was
// started from); write a full path to put it elsewhere.
function savePicture() {
    var file = "graph.jpg";
    var series = Graf.CountSeries();
    Graf.CreateSeries();
    for (var i = 0; i <= 1000; i++) {   // a rose curve r = cos 3t
        var t = Math.PI * i / 1000;
        Graf.AddPointToSeries(series, Math.cos(3 * t) * Math.cos(t), Math.cos(3 * t) * Math.sin(t));
    }
    Graf.SetPropertySeries(series, 255, Graf.ColorRGB(170, 30, 110));
    Graf.SetAxisTitles("@ln@x", "@ln@y");
    Graf.ReDrawGraph();
    Graf.AddFrame("picture");
    Graf.LoadStreamFromDocToFile(file, "picture");
}

savePicture();
