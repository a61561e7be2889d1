' Class_Terminate running while the slot that held the object is being
' overwritten or freed: the slot already holds its new value, the
' terminator may read and write it, and each terminator runs once.
Dim log, o, arr, holder, terms
log = ""

Class Noisy
    Public Name
    Private Sub Class_Terminate()
        log = log & Name & ";"
    End Sub
End Class

Function Make(name)
    Set Make = New Noisy
    Make.Name = name
End Function

' ---- a variable overwritten by its own terminator -------------------------
Class ClearsO
    Private Sub Class_Terminate()
        log = log & "clears o (" & TypeName(o) & ");"
        o = Empty
    End Sub
End Class

Set o = New ClearsO
Set o = Nothing
Assert.Equal log, "clears o (Nothing);", "the terminator sees the new value"
Assert.Check IsEmpty(o), "what the terminator stored stays"

Class StoresInO
    Private Sub Class_Terminate()
        o = "from the terminator"
    End Sub
End Class

Set o = New StoresInO
o = 42
Assert.Equal o, "from the terminator", "a store by the terminator comes after the assignment"

' ---- Erase of the array that holds the object -----------------------------
Class ErasesArr
    Private Sub Class_Terminate()
        log = log & "erase;"
        Erase arr
    End Sub
End Class

log = ""
arr = Array(New ErasesArr, Make("a"), Make("b"))
Erase arr
Assert.Equal log, "erase;a;b;", "Erase inside Erase: each terminator once"
Assert.Check IsArray(arr), "the array ends erased"

Dim fixed(2)
Class ClearsFixed
    Private Sub Class_Terminate()
        log = log & "fixed " & TypeName(fixed(1)) & ";"
        Set fixed(1) = Make("late")
    End Sub
End Class
log = ""
Set fixed(0) = New ClearsFixed
Set fixed(1) = Make("one")
Erase fixed
Assert.Equal log, "fixed Empty;one;", "a fixed array is all Empty before its elements go"
Assert.Equal fixed(1).Name, "late", "a store during Erase is kept"
Set fixed(1) = Nothing

' ---- ReDim and ReDim Preserve ---------------------------------------------
Class Redims
    Private Sub Class_Terminate()
        log = log & "redim " & UBound(arr) & ";"
        ReDim arr(7)
    End Sub
End Class

log = ""
ReDim arr(3)
Set arr(3) = New Redims
ReDim Preserve arr(1)
Assert.Equal log, "redim 1;", "the terminator sees the shrunk array"
Assert.Equal UBound(arr), 7, "its own ReDim wins"

log = ""
ReDim arr(2)
Set arr(0) = New Redims
ReDim arr(4)
Assert.Equal log, "redim 4;", "ReDim without Preserve: the new array is in place first"
Assert.Equal UBound(arr), 7, "its own ReDim wins"

' ---- an element, a field, a With target, a For Each variable --------------
Class ReplacesElement
    Private Sub Class_Terminate()
        log = log & "element " & arr(0) & ";"
        arr(0) = "again"
    End Sub
End Class

log = ""
ReDim arr(1)
Set arr(0) = New ReplacesElement
arr(0) = "new"
Assert.Equal log, "element new;", "an element holds its new value"
Assert.Equal arr(0), "again", "and the terminator's store stays"

Class Box
    Public Item
End Class

Class ClearsBox
    Private Sub Class_Terminate()
        log = log & "field " & TypeName(holder.Item) & ";"
        Set holder = Nothing
    End Sub
End Class

log = ""
Set holder = New Box
Set holder.Item = New ClearsBox
holder.Item = 5
Assert.Equal log, "field Integer;", "a field holds its new value"
Assert.Check holder Is Nothing, "the terminator freed the object whose field it was"

Set holder = New Box
holder.Item = Array(New ClearsBox)
log = ""
holder.Item(0) = 1
Assert.Equal log, "field Variant();", "an element of an array field, set from inside"

log = ""
Set o = Make("with")
With o
    Set o = Nothing
    Assert.Equal .Name, "with", "a With block keeps its object"
End With
Assert.Equal log, "with;", "the object goes when the With block ends"

log = ""
arr = Array(Make("e1"), Make("e2"))
Dim elem
For Each elem In arr
    arr = Empty
Next
Assert.Equal elem.Name, "e2", "For Each keeps the array it walks"
Set elem = Nothing
Assert.Equal log, "e1;e2;", "each element goes once"

' ---- releases that chain ---------------------------------------------------
Class Chained
    Public Name
    Public Other
    Private Sub Class_Terminate()
        log = log & Name & ";"
        Set Other = Nothing
    End Sub
End Class

log = ""
Set o = New Chained
o.Name = "first"
Set o.Other = New Chained
o.Other.Name = "second"
Set o.Other.Other = Make("third")
Set o = Nothing
Assert.Equal log, "first;second;third;", "a chain terminates from its head"

Class Resurrects
    Private Sub Class_Terminate()
        terms = terms + 1
        Set holder = Me
    End Sub
End Class

terms = 0
Set o = New Resurrects
Set o = Nothing
Set holder = Nothing
Assert.Equal terms, 1, "an object kept by its terminator terminates only once"
