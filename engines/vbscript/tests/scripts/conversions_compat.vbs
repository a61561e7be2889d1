' Booleans' texts are not numbers; #TRUE# and #FALSE# are Booleans.
On Error Resume Next
Dim d: d = CDbl("FALSE")
Assert.Equal Err.Number, 13, "CDbl(""FALSE"") is a type mismatch"
Err.Clear
d = CInt("True")
Assert.Equal Err.Number, 13, "CInt(""True"") too"
Err.Clear
On Error GoTo 0
Assert.Equal CBool("True"), True, "CBool still reads True"
Assert.Equal CBool("#TRUE#"), True, "CBool(""#TRUE#"")"
Assert.Equal CBool(" #false# "), False, "CBool(""#FALSE#"") with blanks"
Dim flag: flag = "no"
If "#TRUE#" Then flag = "yes"
Assert.Equal flag, "yes", "If on ""#TRUE#"""
Assert.Equal Not "#FALSE#", True, "Not ""#FALSE#"""

' Byte, Single and Round details.
Assert.Equal CByte(True), 255, "CByte(True)"
Assert.Equal TypeName(CByte(True)), "Byte", "is a Byte"
Assert.Equal CByte(False), 0, "CByte(False)"
Assert.Equal CSng(0.1) = 0.1, True, "a Single against a Double in single precision"
Assert.Equal CSng(0.1) < 0.1, False, "not below it either"
Assert.Equal CDbl(CSng(0.1)) = 0.1, False, "a Double made from it is not 0.1"
Assert.Equal TypeName(Round(True)), "Boolean", "Round keeps a Boolean"
Assert.Equal Round(True), True, "its value"
Assert.Equal TypeName(Round(CInt(7))), "Integer", "Round keeps an Integer"

' Objects convert through their default property.
Class Holder
    Public v
    Public Default Property Get Value() Value = v End Property
End Class
Class Plain
End Class
Dim h: Set h = New Holder
h.v = "42"
Assert.Equal IsNumeric(h), True, "IsNumeric reads the default property"
h.v = "x"
Assert.Equal IsNumeric(h), False, "a non-numeric default"
Assert.Equal IsNumeric(New Plain), False, "no default property"
h.v = 2.5
Assert.Equal CDbl(h), 2.5, "CDbl reads it"
Assert.Equal CLng(h), 2, "CLng rounds it"
