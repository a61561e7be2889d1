' VBScript.RegExp from a script: properties, Test, Execute with Matches,
' Match and SubMatches (by index, default member and For Each), Replace with
' its $ forms, and the errors of a bad pattern.
Dim re, matches, m, s, text
Set re = CreateObject("VBScript.RegExp")
Assert.Equal TypeName(re), "IRegExp2", "TypeName"
Assert.Equal re.Pattern, "", "Pattern starts empty"
Assert.Equal re.Global, False, "Global starts False"
Assert.Equal re.IgnoreCase, False, "IgnoreCase starts False"
Assert.Equal re.Multiline, False, "Multiline starts False"

re.Pattern = "(\w+)@(\w+)\.com"
Assert.Check re.Test("write to ann@example.com today"), "Test finds a match"
Assert.Check Not re.Test("nobody here"), "Test finds none"

' Without Global: one match at most.
Set matches = re.Execute("ann@example.com, bob@test.com")
Assert.Equal matches.Count, 1, "one match without Global"
Assert.Equal matches(0).Value, "ann@example.com", "matches(0) is Item(0)"
Assert.Equal "" & matches.Item(0), "ann@example.com", "a Match reads as its Value"
Assert.Equal matches(0).FirstIndex, 0, "FirstIndex"
Assert.Equal matches(0).Length, 15, "Length"

re.Global = True
Set matches = re.Execute("ann@example.com, bob@test.com")
Assert.Equal matches.Count, 2, "every match with Global"
Set m = matches(1)
Assert.Equal m.FirstIndex, 17, "FirstIndex of the second match"
Set s = m.SubMatches
Assert.Equal s.Count, 2, "SubMatches.Count"
Assert.Equal s(0), "bob", "first group"
Assert.Equal s.Item(1), "test", "second group"

text = ""
For Each m In matches
    text = text & m.SubMatches(0) & ";"
Next
Assert.Equal text, "ann;bob;", "For Each over Matches"

re.Pattern = "(a)|(b)"
Set m = re.Execute("b")(0)
text = ""
For Each s In m.SubMatches
    text = text & "[" & TypeName(s) & "]"
Next
Assert.Equal text, "[Empty][String]", "a group that took no part is Empty"
Assert.Check IsEmpty(m.SubMatches(0)), "IsEmpty of that group"

' Replace.
re.Pattern = "\d+"
Assert.Equal re.Replace("a1b22c333", "<$&>"), "a<1>b<22>c<333>", "$& with Global"
re.Global = False
Assert.Equal re.Replace("a1b22c333", "#"), "a#b22c333", "only the first without Global"
re.Pattern = "(\w+)\s(\w+)"
Assert.Equal re.Replace("John Smith", "$2, $1"), "Smith, John", "groups swapped"
Assert.Equal re.Replace("-John Smith+", "[$`|$']"), "-[-|+]+", "text before and after"
Assert.Equal re.Replace("John Smith", "$$5"), "$5", "$$ is a dollar sign"

re.Global = True
re.Pattern = "x*"
Assert.Equal re.Replace("abc", "-"), "-a-b-c-", "empty matches between characters"

re.IgnoreCase = True
re.Pattern = "^hello$"
Assert.Check Not re.Test("say" & vbCrLf & "HELLO" & vbCrLf & "there"), "anchors at the ends of the text"
re.Multiline = True
Assert.Check re.Test("say" & vbCrLf & "HELLO" & vbCrLf & "there"), "Multiline and IgnoreCase"

' A bad pattern fails when used, with VBScript's numbers.
Dim number
On Error Resume Next
re.Pattern = "(unclosed"
number = Err.Number
re.Test "x"
Assert.Equal number, 0, "assigning a bad pattern is no error"
Assert.Equal Err.Number, 5020, "Expected ')' in regular expression"
Err.Clear
re.Pattern = "[abc"
re.Execute "x"
Assert.Equal Err.Number, 5019, "Expected ']' in regular expression"
Err.Clear
re.Pattern = "+"
re.Replace "x", "y"
Assert.Equal Err.Number, 5018, "Unexpected quantifier"
Assert.Equal Err.Description, "Unexpected quantifier", "its text"
Err.Clear
re.Pattern = "a(?<name>b)"
re.Test "ab"
Assert.Equal Err.Number, 5017, "Syntax error in regular expression"
On Error GoTo 0

Set re = Nothing
Set matches = Nothing
Set m = Nothing
Set s = Nothing
