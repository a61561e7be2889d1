' Reading and writing text files as VBScript programs do.
Const ForReading = 1, ForWriting = 2, ForAppending = 8
Dim fso, ts, path, line, n, total, fields
Set fso = CreateObject("Scripting.FileSystemObject")
Assert.Equal TypeName(fso), "FileSystemObject", "TypeName"
path = fso.BuildPath("%TEST_DIR%", "data.csv")
Assert.Check Not fso.FileExists(path), "not there yet"

Set ts = fso.CreateTextFile(path, True)
Assert.Equal TypeName(ts), "TextStream", "TypeName of a stream"
ts.WriteLine "t,x"
For n = 1 To 5
    ts.WriteLine n & "," & (n * n)
Next
ts.Write "6,36"
Assert.Equal ts.Line, 7, "Line while writing"
ts.Close
Assert.Check fso.FileExists(path), "written"

' Line by line with Split, as a plotting script reads its data.
Set ts = fso.OpenTextFile(path, ForReading)
Assert.Equal ts.ReadLine, "t,x", "header"
total = 0
Do Until ts.AtEndOfStream
    fields = Split(ts.ReadLine, ",")
    total = total + CDbl(fields(1))
Loop
Assert.Equal total, 91, "sum of a column"
Assert.Equal ts.Line, 7, "the last line has no end"
On Error Resume Next
line = ts.ReadLine
Assert.Equal Err.Number, 62, "reading past the end"
Assert.Equal Err.Description, "Input past end of file", "its text"
Err.Clear
ts.Write "x"
Assert.Equal Err.Number, 54, "writing to a stream opened for reading"
Err.Clear
On Error GoTo 0
ts.Close

' Appending, then reading everything at once.
Set ts = fso.OpenTextFile(path, ForAppending)
ts.WriteBlankLines 1
ts.Write "7,49"
ts.Close
Set ts = fso.OpenTextFile(path)
Dim all: all = ts.ReadAll
ts.Close
Assert.Equal UBound(Split(all, vbLf)), 7, "eight lines after appending"
Assert.Equal Right(all, 4), "7,49", "appended text"

' Unicode files round-trip.
Set ts = fso.OpenTextFile(fso.BuildPath("%TEST_DIR%", "u.txt"), ForWriting, True, -1)
ts.WriteLine "Grüße " & ChrW(&H20AC)
ts.Close
Set ts = fso.OpenTextFile(fso.BuildPath("%TEST_DIR%", "u.txt"), ForReading, False, -2)
Assert.Equal ts.ReadLine, "Grüße " & ChrW(&H20AC), "UTF-16 read back by its mark"
ts.Close

' Errors of opening.
On Error Resume Next
Set ts = fso.OpenTextFile(fso.BuildPath("%TEST_DIR%", "missing.txt"))
Assert.Equal Err.Number, 53, "File not found"
Err.Clear
Set ts = fso.OpenTextFile("%TEST_DIR%\no\such.txt", ForWriting, True)
Assert.Equal Err.Number, 76, "Path not found (backslashes work too)"
Err.Clear
Set ts = fso.CreateTextFile(path, False)
Assert.Equal Err.Number, 58, "File already exists"
Err.Clear
On Error GoTo 0

' Path text.
Assert.Equal fso.GetFileName("C:\data\run.csv"), "run.csv", "GetFileName"
Assert.Equal fso.GetBaseName("/data/run.csv"), "run", "GetBaseName"
Assert.Equal fso.GetExtensionName("/data/run.csv"), "csv", "GetExtensionName"
Assert.Equal fso.GetParentFolderName("/data/run.csv"), "/data", "GetParentFolderName"
Assert.Equal fso.GetAbsolutePathName("/data/../x/./y"), "/x/y", "GetAbsolutePathName"
Assert.Check fso.FolderExists("%TEST_DIR%"), "FolderExists"

' A stream outlives the object that opened it.
Set ts = fso.OpenTextFile(path)
Set fso = Nothing
Assert.Equal ts.ReadLine, "t,x", "stream without its FileSystemObject"
