Dim d, t, parts
d = DateAdd("m", 1, #1/31/2024#)
t = FormatNumber(1234.5678, 2) & " " & FormatDateTime(d, 1)
parts = Split("a,b,,c", ",")
t = Join(parts, "|") & InStr(1, "Hello", "l") & Replace("aaa", "a", "bb", 2, 1)
t = t & Hex(255) & Oct(8) & ChrW(945) & StrReverse("abc") & Space(2) & String(3, "z")
If IsDate("2024-02-29") And Not IsNumeric("x") Then t = TypeName(d) & VarType(parts)
With New RegExp
End With
