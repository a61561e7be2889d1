// Files and folders as JScript programs walk them.
var fso = new ActiveXObject("Scripting.FileSystemObject");
var root = fso.GetFolder("%TEST_DIR%");
var data = fso.CreateFolder(fso.BuildPath(root.Path, "data"));
for (var i = 0; i < 3; i++) {
    var s = data.CreateTextFile("part" + i + ".csv");
    s.Write("x");
    s.Close();
}
var names = [];
for (var e = new Enumerator(data.Files); !e.atEnd(); e.moveNext()) names.push(e.item().Name);
Assert.Equal(names.join(","), "part0.csv,part1.csv,part2.csv", "Enumerator over Files");
Assert.Equal(data.Size, 3, "folder size");
var folders = [];
for (e = new Enumerator(root.SubFolders); !e.atEnd(); e.moveNext()) folders.push(e.item().Name);
Assert.Equal(folders.join(","), "data", "Enumerator over SubFolders");

fso.MoveFile(fso.BuildPath(data.Path, "part*.csv"), root.Path + "/");
Assert.Equal(data.Files.Count, 0, "moved out");
Assert.Equal(root.Files.Count, 3, "moved in");
var drive = fso.GetDrive(root.Path);
Assert.Check(drive.TotalSize > 0, "drive size");
Assert.Check(fso.GetSpecialFolder(2).IsRootFolder === false, "temporary folder");
