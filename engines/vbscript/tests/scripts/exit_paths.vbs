' Exit Function / Exit Property / Exit Sub leave with the value assigned so
' far, whatever locals, loops or With blocks are open at the time.
Function Plain()
    Dim t
    t = 5
    Plain = "RET"
    Exit Function
End Function
Assert.Equal Plain(), "RET", "Exit Function after a Dim local"

Function Unassigned()
    Dim a, b
    a = 1: b = 2
    Exit Function
End Function
Assert.Equal IsEmpty(Unassigned()), True, "nothing assigned: Empty"

Function InFor(n)
    Dim i, j
    InFor = n * 10
    For i = 1 To 3
        j = i
        If i = 2 Then Exit Function
    Next
    InFor = -1
End Function
Assert.Equal InFor(4), 40, "from inside For"

Function InForEach()
    Dim x, total
    For Each x In Array(1, 2, 3)
        total = x
        InForEach = "each " & x
        If x = 2 Then Exit Function
    Next
End Function
Assert.Equal InForEach(), "each 2", "from inside For Each"

Function InDo()
    Dim k
    Do
        k = k + 1
        InDo = k
        If k = 3 Then Exit Function
    Loop
End Function
Assert.Equal InDo(), 3, "from inside Do"

Class Box
    Public Size
    Public Function Twice()
        Dim tmp
        tmp = "wrong"
        Twice = Size * 2
        Exit Function
    End Function
    Public Property Get Label()
        Dim z
        z = 9
        Label = "box"
        Exit Property
    End Property
End Class

Function InWith()
    Dim b, other
    Set b = New Box
    b.Size = 7
    other = "no"
    With b
        InWith = .Twice()
        Exit Function
    End With
End Function
Assert.Equal InWith(), 14, "from inside With, through a method"

Dim bx
Set bx = New Box
bx.Size = 3
Assert.Equal bx.Twice(), 6, "a method"
Assert.Equal bx.Label, "box", "Exit Property in Property Get"

Dim trace
Sub Leave()
    Dim s
    s = "local"
    trace = "before"
    Exit Sub
    trace = "after"
End Sub
Leave
Assert.Equal trace, "before", "Exit Sub"

Function WithObject()
    Dim o
    Set o = New Box
    Set WithObject = o
    Exit Function
End Function
Assert.Equal TypeName(WithObject()), "Box", "an object result"
