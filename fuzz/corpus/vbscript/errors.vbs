On Error Resume Next
Dim x
x = 1 / 0
If Err.Number <> 0 Then x = Err.Description
Err.Clear
x = CInt("&H7FFF") + CLng("1,234") Mod 7
Execute "x = x & ""!"""
x = Eval("1 + 2 * 3 = 7")
On Error GoTo 0
Sub Fails()
    Err.Raise 1000, "here", "failed"
End Sub
