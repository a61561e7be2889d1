// Reading and writing text files as JScript programs do.
var ForReading = 1, ForWriting = 2, ForAppending = 8;
var fso = new ActiveXObject("Scripting.FileSystemObject");
var path = fso.BuildPath("%TEST_DIR%", "points.csv");
var out = fso.CreateTextFile(path, true);
for (var i = 0; i < 100; i++) out.WriteLine(i + "," + (i * 0.5));
out.Close();

var ts = fso.OpenTextFile(path, ForReading);
var sum = 0, count = 0;
while (!ts.AtEndOfStream) {
    var fields = ts.ReadLine().split(",");
    sum += parseFloat(fields[1]);
    count++;
}
ts.Close();
Assert.Equal(count, 100, "lines read");
Assert.Equal(sum, 2475, "sum of a column");

// Read, Skip, Column and AtEndOfLine.
ts = fso.OpenTextFile(path);
Assert.Equal(ts.Read(2), "0,", "Read");
Assert.Equal(ts.Column, 3, "Column");
ts.Skip(1);
Assert.Check(ts.AtEndOfLine, "AtEndOfLine");
ts.SkipLine();
Assert.Equal(ts.ReadLine(), "1,0.5", "after SkipLine");
Assert.Equal(ts.Line, 3, "Line");
ts.Close();

function failure(f) {
    try { f(); } catch (e) { return (e.number & 0xFFFF) + ":" + e.description; }
    return "no error";
}
Assert.Equal(failure(function () { fso.OpenTextFile(fso.BuildPath("%TEST_DIR%", "none.txt")); }),
             "53:File not found", "missing file");
Assert.Equal(failure(function () { fso.CreateTextFile(path, false); }), "58:File already exists", "kept file");
var reader = fso.OpenTextFile(path);
reader.ReadAll();
Assert.Equal(failure(function () { reader.ReadLine(); }), "62:Input past end of file", "past the end");
reader.Close();
Assert.Equal(fso.GetExtensionName(path), "csv", "GetExtensionName");
Assert.Check(fso.FileExists(path), "FileExists");
