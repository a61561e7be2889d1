' Literals get the VBScript subtypes; names ignore case; lines continue with " _".
Assert.Equal TypeName(1), "Integer", "small integer"
Assert.Equal TypeName(32767), "Integer", "largest Integer"
Assert.Equal TypeName(32768), "Long", "past Integer"
Assert.Equal TypeName(2147483647), "Long", "largest Long"
Assert.Equal TypeName(2147483648), "Double", "past Long"
Assert.Equal TypeName(1.5), "Double", "decimal point"
Assert.Equal TypeName(1E3), "Double", "exponent"
Assert.Equal .5, 0.5, "leading point"

' Hexadecimal and octal are bit patterns: four hex digits make an Integer.
Assert.Equal &HFF, 255, "hex"
Assert.Equal &HFFFF, -1, "16-bit pattern"
Assert.Equal TypeName(&HFFFF), "Integer", "hex Integer"
Assert.Equal &H8000, -32768, "sign bit"
Assert.Equal &H10000, 65536, "five digits"
Assert.Equal &HFFFF&, 65535, "trailing & makes a Long"
Assert.Equal &HFFFFFFFF, -1, "32-bit pattern"
Assert.Equal &O17, 15, "octal"
Assert.Equal &17, 15, "octal without O"

Assert.Equal "say ""hi""", "say " & Chr(34) & "hi" & Chr(34), "doubled quotes"
Assert.Equal Len(""), 0, "empty string"
Assert.Equal TypeName(#1/2/2003#), "Date", "date literal"
Assert.Equal CDbl(#1/1/1900#), 2, "date serial"

Dim MixedCase
mixedcase = 3
Assert.Equal MIXEDCASE, 3, "names ignore case"
ASSERT.EQUAL mixedCase, 3, "so do objects and keywords"

Dim total: total = 1 + _
    2 + _
    3
Assert.Equal total, 6, "line continuation"
Dim a, b: a = 1: b = 2: Assert.Equal a + b, 3, "colons separate statements"
Rem a remark
a = 5 ' a trailing comment
a = a + 1 : Rem a remark after a colon
Assert.Equal a, 6, "comments"
Assert.Equal True, -1, "True is -1"
Assert.Check IsEmpty(Empty), "Empty"
Assert.Check IsNull(Null), "Null"
Assert.Check Nothing Is Nothing, "Nothing"
