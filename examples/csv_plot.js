// Plots two columns of a CSV file: a damped oscillation measured at 2,000
// points, and the envelope it decays within.
// Run it from this folder or the one above:
//     quillan --run examples/csv_plot.js --export oscillation.jpg
var ForReading = 1;
var fso = new ActiveXObject("Scripting.FileSystemObject");
var path = "data/damped_oscillation.csv";
if (!fso.FileExists(path)) path = "examples/data/damped_oscillation.csv";
var stream = fso.OpenTextFile(path, ForReading);

// The first line names the columns.
var header = stream.ReadLine().split(",");
var time = header.indexOf("time_s");
var displacement = header.indexOf("displacement_mm");
var envelope = header.indexOf("envelope_mm");

Graf.CreateSeries();  // 0: the measured displacement
Graf.CreateSeries();  // 1: the envelope
while (!stream.AtEndOfStream) {
    var fields = stream.ReadLine().split(",");
    var t = parseFloat(fields[time]);
    Graf.AddPointToSeries(0, t, parseFloat(fields[displacement]));
    Graf.AddPointToSeries(1, t, parseFloat(fields[envelope]));
}
stream.Close();

Graf.SetPropertySeries(0, 255, Graf.ColorRGB(20, 90, 170));
Graf.SetPropertySeries(1, 160, Graf.ColorRGB(200, 40, 40));
Graf.SetAxisTitles("@ln@time (s)", "@ln@displacement (mm)");
Graf.ReDrawGraph();
