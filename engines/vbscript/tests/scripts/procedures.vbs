' Sub and Function, arguments by reference and by value, recursion.
Assert.Equal Twice(21), 42, "a Function defined later in the text"

Function Twice(n)
    Twice = n * 2
End Function

Sub Bump(ByRef v)
    v = v + 1
End Sub

Sub BumpCopy(ByVal v)
    v = v + 1
End Sub

Sub BumpDefault(v)
    v = v + 1
End Sub

Dim a: a = 1
Bump a
Assert.Equal a, 2, "ByRef updates the variable"
BumpCopy a
Assert.Equal a, 2, "ByVal leaves it"
BumpDefault a
Assert.Equal a, 3, "ByRef is the default"
Call Bump(a)
Assert.Equal a, 4, "Call passes by reference"
Bump (a)
Assert.Equal a, 4, "parentheses pass a copy"
Bump a + 0
Assert.Equal a, 4, "an expression is a copy"
Bump 5
Call BumpTwo(a, a)
Assert.Equal a, 6, "the same variable twice"

Sub BumpTwo(x, y)
    x = x + 1
    y = y + 1
End Sub

Function Factorial(n)
    If n <= 1 Then
        Factorial = 1
    Else
        Factorial = n * Factorial(n - 1)
    End If
End Function
Assert.Equal Factorial(10), 3628800, "recursion"

Function Fib(n)
    If n < 2 Then Fib = n : Exit Function
    Fib = Fib(n - 1) + Fib(n - 2)
End Function
Assert.Equal Fib(20), 6765, "Exit Function"

Function NoResult()
End Function
Assert.Check IsEmpty(NoResult()), "a Function that sets nothing returns Empty"
Assert.Check IsEmpty(NoResult), "called without parentheses"

Dim counter: counter = 0
Sub Count()
    counter = counter + 1
End Sub
Count
Count()
Call Count
Assert.Equal counter, 3, "Sub calls in three forms"

Sub Early(v)
    v = 1
    Exit Sub
    v = 2
End Sub
Dim ev: Early ev
Assert.Equal ev, 1, "Exit Sub"

Function Locals()
    Dim counter
    counter = 100
    Locals = counter
End Function
Assert.Equal Locals(), 100, "a local hides a global"
Assert.Equal counter, 3, "the global is untouched"

Function UsesGlobal()
    UsesGlobal = later * 2
End Function
Dim later: later = 21
Assert.Equal UsesGlobal(), 42, "a global declared after the Function"

Function Implicit()
    undeclaredLocal = 7
    Implicit = undeclaredLocal
End Function
Assert.Equal Implicit(), 7, "an undeclared name in a procedure is a local"

Sub ChangeElement(arr)
    arr(0) = "changed"
End Sub
Dim list: list = Array("a", "b")
ChangeElement list
Assert.Equal list(0), "changed", "an array passed by reference"

Sub ChangeCopy(ByVal arr)
    arr(0) = "changed"
End Sub
list = Array("a", "b")
ChangeCopy list
Assert.Equal list(0), "a", "an array passed by value is a copy"

Function Pair(x, y)
    Pair = x & "," & y
End Function
Assert.Equal Pair(1, "b"), "1,b", "two parameters"

Sub Accumulate(total, ByVal n)
    Dim k
    For k = 1 To n
        total = total + k
    Next
End Sub
Dim sum: sum = 0
Accumulate sum, 4
Assert.Equal sum, 10, "ByRef and ByVal together"

' A Function's closing assignment returns at once; the branches that jump
' to the end still return what they assigned.
Function Pick(flag)
    If flag Then
        Pick = "then"
    Else
        Pick = "else"
    End If
End Function
Assert.Equal Pick(True), "then", "the branch that jumps to the end"
Assert.Equal Pick(False), "else", "the branch that ends the Function"

Function Replaced(n)
    Replaced = "first"
    Replaced = n + 1
End Function
Assert.Equal Replaced(1), 2, "the last assignment is the result"

Function NoObject()
    Set NoObject = Nothing
End Function
Assert.Check IsObject(NoObject()), "Set as the closing assignment"

' Arithmetic with a local operand keeps the Variant rules.
Function Plus(x, y)
    Plus = x + y
End Function
Function Scale(x, y)
    Scale = 2 * y - x
End Function
Assert.Equal Plus("1", "2"), "12", "+ of two strings joins them"
Assert.Equal Plus("1", 2), 3, "+ of a string and a number adds"
Assert.Check IsNull(Plus(Null, 1)), "Null propagates"
Assert.Equal TypeName(Plus(CInt(32767), CInt(1))), "Long", "Integer overflow widens"
Assert.Equal Scale(1, "3"), 5, "- and * convert strings"
Assert.Equal Scale(0.5, 1), 1.5, "doubles"
On Error Resume Next
Dim mismatch: mismatch = Plus("x", 1)
Assert.Equal Err.Number, 13, "a string that is no number"
On Error GoTo 0
