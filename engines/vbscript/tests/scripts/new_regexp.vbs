' New RegExp makes the language's regular-expression object, like
' CreateObject("VBScript.RegExp"); Class_Initialize plays no part in it.
Dim re, m, n
Set re = New RegExp
Assert.Equal TypeName(re), "IRegExp2", "New RegExp gives the built-in object"
re.Pattern = "(\d+)-(\d+)"
re.Global = True
Assert.Equal re.Replace("1-2 and 30-40", "$2-$1"), "2-1 and 40-30", "Replace with groups"
n = 0
For Each m In re.Execute("5-6, 7-8")
    n = n + m.SubMatches(0) + m.SubMatches(1)
Next
Assert.Equal n, 26, "Execute and SubMatches"
Set re = Nothing
