' Null where a number is needed is error 94, checked before the text.
Function ErrOf(code)
    On Error Resume Next
    Execute code
    ErrOf = Err.Number
End Function
Dim r
Assert.Equal ErrOf("r = InStrRev(""abc"", ""b"", Null)"), 94, "InStrRev start Null"
Assert.Equal ErrOf("r = InStrRev(Null, ""b"", Null)"), 94, "InStrRev: the start before the texts"
Assert.Equal ErrOf("r = Mid(""abc"", Null)"), 94, "Mid start Null"
Assert.Equal ErrOf("r = Mid(Null, 1, Null)"), 94, "Mid length Null with a Null text"
Assert.Equal ErrOf("r = Right(Null, Null)"), 94, "Right length Null"
Assert.Equal ErrOf("r = MonthName(Null)"), 94, "MonthName(Null)"
Assert.Equal ErrOf("r = FormatNumber(1, Null)"), 94, "FormatNumber digits Null"
Assert.Equal ErrOf("r = FormatCurrency(1, 2, Null)"), 94, "FormatCurrency tristate Null"
Assert.Equal ErrOf("r = FormatPercent(1, , , Null)"), 94, "FormatPercent tristate Null"
Assert.Equal ErrOf("r = FormatDateTime(Now, Null)"), 94, "FormatDateTime format Null"
Assert.Check IsNull(Mid(Null, 2)), "Mid of Null text is still Null"
Assert.Check IsNull(Right(Null, 1)), "Right of Null text is still Null"
Assert.Check IsNull(InStrRev(Null, "a")), "InStrRev of a Null text is Null"
Assert.Equal InStrRev("", "", 3), 0, "InStrRev past the end of an empty text"
Assert.Equal InStrRev("abc", "", 2), 2, "an empty needle within the text"

' Join.
Class Holder
    Public v
    Public Default Property Get Value() Value = v End Property
End Class
Class Plain
End Class
Assert.Equal ErrOf("r = Join(Null)"), 94, "Join(Null)"
Assert.Equal ErrOf("r = Join(New Plain)"), 438, "Join of an object without a default"
Assert.Equal ErrOf("r = Join(Array(1, Null))"), 13, "Join of an array holding Null"
Dim h: Set h = New Holder
h.v = Array("a", "b")
Assert.Equal Join(h, "-"), "a-b", "Join of an object's default array"

' Constants.
Assert.Equal TypeName(vbRed), "Long", "vbRed is a Long"
Assert.Equal TypeName(vbBlack), "Long", "vbBlack too"
Assert.Equal TypeName(vbMsgBoxHelpButton), "Long", "MsgBox options too"
Assert.Equal TypeName(vbOKOnly), "Long", "even small ones"
Assert.Equal vbDatabaseCompare, 2, "vbDatabaseCompare"
Assert.Equal TypeName(vbTextCompare), "Integer", "comparison modes stay Integer"

' Err.Raise.
Assert.Equal ErrOf("Err.Raise"), 450, "Err.Raise without a number"
On Error Resume Next
Err.Raise &h8007000E&
Assert.Equal Err.Number, 7, "a system status maps to its number"
Assert.Equal Err.Description, "Out of memory", "and its text"
Err.Clear
Err.Raise &h800A000B&
Assert.Equal Err.Number, 11, "the runtime facility maps to its number"
Assert.Equal Err.Description, "Division by zero", "and its text"
Err.Clear
On Error GoTo 0

' Randomize has no value.
Assert.Equal ErrOf("r = Randomize(0)"), 13, "Randomize used as a function"
Assert.Equal ErrOf("r = Randomize"), 13, "or as a value"
Assert.Equal ErrOf("Randomize 0"), 0, "as a statement it runs"
Assert.Equal ErrOf("Call Randomize(0)"), 0, "and with Call"
