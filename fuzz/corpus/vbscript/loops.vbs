Dim i, s, a(), d
ReDim a(3)
For i = 0 To UBound(a) Step 1
    a(i) = i ^ 2
Next
ReDim Preserve a(5)
For Each d In a
    s = s & CStr(d) & ","
Next
Do While Len(s) > 3
    s = Mid(s, 2)
Loop
i = 10
Do
    i = i \ 2
Loop Until i < 1
Select Case s
    Case "9,", "x": s = "a"
    Case Else: s = UCase(s)
End Select
While i < 3 : i = i + 1 : Wend
