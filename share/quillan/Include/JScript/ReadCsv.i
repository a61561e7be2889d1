// Read a CSV file with FileSystemObject and plot two of its columns
// Reads "data.csv" (a header line, then numbers separated by commas) and
// plots its second column against its first. Change the path and columns.
var fso = new ActiveXObject("Scripting.FileSystemObject");
var stream = fso.OpenTextFile("data.csv", 1);
stream.SkipLine();
Graf.CreateSeries();
while (!stream.AtEndOfStream) {
    var fields = stream.ReadLine().split(",");
    Graf.AddPointToSeries(0, parseFloat(fields[0]), parseFloat(fields[1]));
}
stream.Close();
Graf.SetAxisTitles("@ln@x", "@ln@y");
Graf.ReDrawGraph();
