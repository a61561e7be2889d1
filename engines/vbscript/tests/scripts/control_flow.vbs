' If, Select Case, loops and Exit.
Dim x, r
x = 5
If x > 3 Then r = "big" Else r = "small"
Assert.Equal r, "big", "single-line If with Else"
If x < 3 Then r = "a" : r = r & "b" Else r = "c" : r = r & "d"
Assert.Equal r, "cd", "single-line If with several statements"
If x = 5 Then
    r = 1
ElseIf x = 6 Then
    r = 2
Else
    r = 3
End If
Assert.Equal r, 1, "block If"
x = 6
If x = 5 Then
    r = 1
ElseIf x = 6 Then
    r = 2
Else
    r = 3
End If
Assert.Equal r, 2, "ElseIf"
If Null Then r = "null was true" Else r = "null is not true"
Assert.Equal r, "null is not true", "Null condition"
If "True" Then r = "yes"
Assert.Equal r, "yes", "string condition"

Function Classify(v)
    Select Case v
        Case 1, 2, 3
            Classify = "small"
        Case 4 To 6
            Classify = "medium"
        Case "x"
            Classify = "letter"
        Case Is >= 100
            Classify = "huge"
        Case Else
            Classify = "other"
    End Select
End Function
Assert.Equal Classify(2), "small", "Case list"
Assert.Equal Classify(5), "medium", "Case range"
Assert.Equal Classify(6), "medium", "range includes its end"
Assert.Equal Classify(150), "huge", "Case Is"
Assert.Equal Classify("x"), "letter", "Case with a string"
Assert.Equal Classify(50), "other", "Case Else"
Assert.Equal Classify("y"), "huge", "a literal number against a string compares text"

Dim i, s
s = 0
For i = 1 To 10
    s = s + i
Next
Assert.Equal s, 55, "For"
Assert.Equal i, 11, "counter after the loop"
s = ""
For i = 10 To 1 Step -3
    s = s & i & " "
Next
Assert.Equal s, "10 7 4 1 ", "negative step"
s = 0
For i = 0 To 1 Step 0.25
    s = s + 1
Next
Assert.Equal s, 5, "fractional step"
s = 0
For i = 5 To 1
    s = s + 1
Next
Assert.Equal s, 0, "no pass when start is past the end"
Dim limit: limit = 3: s = 0
For i = 1 To limit
    limit = 10
    s = s + 1
Next
Assert.Equal s, 3, "bounds evaluated once"
s = 0
For i = 1 To 10
    If i = 4 Then Exit For
    s = s + i
Next
Assert.Equal s, 6, "Exit For"
Assert.Equal i, 4, "counter kept by Exit For"
Dim j: s = 0
For i = 1 To 3
    For j = 1 To 3
        s = s + 1
    Next j
Next i
Assert.Equal s, 9, "nested For with names after Next"

Dim item
s = 0
For Each item In Array(1, 2, 3)
    s = s + item
Next
Assert.Equal s, 6, "For Each over an array"
s = ""
For Each item In Items
    s = s & item & ";"
Next
Assert.Equal s, "10;two;3.5;", "For Each over a collection"

i = 0
Do While i < 5
    i = i + 1
Loop
Assert.Equal i, 5, "Do While"
i = 0
Do Until i >= 5
    i = i + 2
Loop
Assert.Equal i, 6, "Do Until"
i = 10
Do
    i = i + 1
Loop While i < 5
Assert.Equal i, 11, "Loop While runs once"
i = 0
Do
    i = i + 1
Loop Until i = 3
Assert.Equal i, 3, "Loop Until"
i = 0
Do
    i = i + 1
    If i = 7 Then Exit Do
Loop
Assert.Equal i, 7, "Exit Do"
i = 0
While i < 4
    i = i + 1
Wend
Assert.Equal i, 4, "While Wend"
