' Array elements passed to ByRef parameters are passed by reference.
Sub SetTo(x, v)
    x = v
End Sub
Sub SetByVal(ByVal x, v)
    x = v
End Sub
Function Bump(x)
    x = x + 1
    Bump = x
End Function

Dim a(3)
a(1) = 10
SetTo a(1), 11
Assert.Equal a(1), 11, "a Sub's assignment reaches the element"
Assert.Equal Bump(a(2)), 1, "a Function's too"
Assert.Equal a(2), 1, "and stays in the array"
SetByVal a(0), 5
Assert.Equal IsEmpty(a(0)), True, "ByVal leaves the element alone"
SetTo (a(3)), 9
Assert.Equal IsEmpty(a(3)), True, "parentheses pass a copy"
Call SetTo(a(3), "set")
Assert.Equal a(3), "set", "Call passes by reference too"

' Several dimensions, a dynamic array, a local array.
Dim grid(2, 2)
SetTo grid(1, 2), "g"
Assert.Equal grid(1, 2), "g", "an element of a two-dimensional array"
Dim dyn()
ReDim dyn(4)
SetTo dyn(4), 4
Assert.Equal dyn(4), 4, "an element of a dynamic array"
Sub LocalArray()
    Dim l(1)
    SetTo l(0), "local"
    Assert.Equal l(0), "local", "an element of a local array"
End Sub
LocalArray

' The element of a copy: arrays are values, the copy does not change.
Dim b, c
b = Array(1, 2, 3)
c = b
SetTo b(0), 100
Assert.Equal b(0), 100, "the passed array changes"
Assert.Equal c(0), 1, "a copy made before does not"

' Nested arrays: the element holds an array the callee writes into.
Sub FillFirst(inner)
    inner(0) = "filled"
End Sub
Dim outer
outer = Array(Array(0, 0), Array(0, 0))
FillFirst outer(1)
Assert.Equal outer(1)(0), "filled", "the callee writes into the element's array"
Dim m
m = outer(1)
SetTo m(1), "m"
Assert.Equal outer(1)(1), 0, "a copy of an inner array is its own"

' References pass on through further calls and aliases.
Sub Relay(x)
    SetTo x, "relayed"
End Sub
Relay a(0)
Assert.Equal a(0), "relayed", "a ByRef parameter passes the element on"
Sub BothWays(x, y)
    x = "first"
    y = y & "+second"
End Sub
BothWays a(1), a(1)
Assert.Equal a(1), "first+second", "two references to one element see each other"
Sub WriteThroughArray(x)
    a(2) = "by name"
    x = x & "+by parameter"
End Sub
WriteThroughArray a(2)
Assert.Equal a(2), "by name+by parameter", "the array and the parameter are one element"

' Class fields and host calls.
Class Holder
    Public items(1)
    Sub Fill()
        SetTo items(0), "field"
    End Sub
End Class
Dim h
Set h = New Holder
h.Fill
Assert.Equal h.items(0), "field", "an element of a field array"

' While a reference lives the array cannot be resized or erased.
Sub Resize(x)
    ReDim Preserve dyn(10)
End Sub
Sub EraseIt(x)
    Erase dyn
End Sub
Sub ResizeFresh(x)
    ReDim dyn(2)
End Sub
On Error Resume Next
Resize dyn(0)
Assert.Equal Err.Number, 10, "ReDim Preserve of a locked array is error 10"
Assert.Equal Err.Description, "This array is fixed or temporarily locked", "its text"
Err.Clear
EraseIt dyn(0)
Assert.Equal Err.Number, 10, "Erase of a locked array is error 10"
Err.Clear
ResizeFresh dyn(0)
Assert.Equal Err.Number, 10, "ReDim of a locked array is error 10"
Err.Clear
On Error GoTo 0
Assert.Equal UBound(dyn), 4, "the array kept its size"
Assert.Equal dyn(4), 4, "and its elements"
ReDim Preserve dyn(6)
Assert.Equal UBound(dyn), 6, "after the call the lock is gone"

' The variable may be given a new value meanwhile; the reference stays safe.
Sub Replace(x)
    b = Empty
    x = "orphan"
End Sub
Replace b(1)
Assert.Equal IsEmpty(b), True, "the variable holds its new value"

' A subscript out of range is reported before the call.
On Error Resume Next
SetTo a(9), 1
Assert.Equal Err.Number, 9, "an element that does not exist"
On Error GoTo 0

' Names the compiler cannot place: an array or a function, decided when run.
ExecuteGlobal "Dim lateArray(2)"
ExecuteGlobal "Function LateFunc(v) : LateFunc = v * 2 : End Function"
Sub Twice(x, y)
    x = y
End Sub
Sub UsesLateNames()
    Twice lateArray(1), LateFunc(21)
End Sub
UsesLateNames
Assert.Equal lateArray(1), 42, "an array variable defined later, and a function"
ExecuteGlobal "Function LateSwap(v) : v = ""changed"" : LateSwap = 1 : End Function"
Dim arg
arg = "kept"
Sub CallsLateSwap()
    SetTo a(0), LateSwap(arg)
End Sub
CallsLateSwap
Assert.Equal arg, "changed", "a later function still gets its arguments by reference"
