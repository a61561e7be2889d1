' Files and folders as VBScript programs walk them.
Dim fso, root, f, names, sub1, file, held
Set fso = CreateObject("Scripting.FileSystemObject")
Set root = fso.GetFolder("%TEST_DIR%")
Set sub1 = root.SubFolders.Add("runs")
fso.CreateTextFile(fso.BuildPath(sub1.Path, "b.csv")).Write "1,2"
sub1.CreateTextFile("a.csv").WriteLine "3,4"
fso.CreateTextFile(fso.BuildPath(sub1.Path, "notes.txt")).Close

names = ""
For Each f In sub1.Files
    names = names & f.Name & ":" & f.Size & ";"
Next
Assert.Equal names, "a.csv:4;b.csv:3;notes.txt:0;", "For Each over Files"
Assert.Equal sub1.Files.Count, 3, "Files.Count"
Assert.Equal sub1.Files("b.csv").Size, 3, "Files by name"
names = ""
For Each f In root.SubFolders
    names = names & f.Name & ";"
Next
Assert.Equal names, "runs;", "For Each over SubFolders"

Set file = fso.GetFile(fso.BuildPath(sub1.Path, "a.csv"))
Assert.Equal file.ParentFolder.Name, "runs", "ParentFolder"
Assert.Equal TypeName(file.DateLastModified), "Date", "dates are Dates"
Assert.Equal file.Attributes And 16, 0, "a file is no directory"
Assert.Equal sub1.Attributes And 16, 16, "a folder is"

' Copy with a wildcard, then delete with one.
fso.CreateFolder fso.BuildPath(root.Path, "copies")
fso.CopyFile fso.BuildPath(sub1.Path, "*.csv"), fso.BuildPath(root.Path, "copies") & "/"
Assert.Equal fso.GetFolder(fso.BuildPath(root.Path, "copies")).Files.Count, 2, "two copies"
fso.DeleteFile fso.BuildPath(root.Path, "copies\*.csv")
Assert.Equal fso.GetFolder(fso.BuildPath(root.Path, "copies")).Files.Count, 0, "deleted by wildcard"

' A Folder object outlives its folder.
Set held = fso.GetFolder(fso.BuildPath(root.Path, "copies"))
fso.DeleteFolder held.Path
Assert.Equal held.Name, "copies", "the name stays"
On Error Resume Next
Dim n: n = held.Files.Count
Assert.Equal Err.Number, 76, "Path not found once deleted"
Err.Clear
fso.DeleteFile fso.BuildPath(root.Path, "*.none")
Assert.Equal Err.Number, 53, "no file matches"
Err.Clear
fso.CreateFolder sub1.Path
Assert.Equal Err.Number, 58, "the folder is there"
On Error GoTo 0
