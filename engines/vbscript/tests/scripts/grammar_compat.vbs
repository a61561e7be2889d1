' Spellings and layouts older scripts use.
Assert.Equal 3 => 2, True, "=> is >="
Assert.Equal 2 =< 2, True, "=< is <="
Assert.Equal 2 >< 3, True, ">< is <>"
Assert.Equal 2 >< 2, False, ">< on equal values"
Dim cont
cont =_
  1 +_
  2
Assert.Equal cont, 3, "continuation right after an operator"

' One-line If closed by End If.
Dim oneLine
If cont = 3 Then oneLine = "then" Else oneLine = "else" End If
Assert.Equal oneLine, "then", "one-line If with End If"
If cont = 4 Then oneLine = "then" Else oneLine = "else" End If
Assert.Equal oneLine, "else", "its Else part"
If cont = 3 Then Assert.Check True, "call before End If" End If

' Declarations inside blocks are hoisted.
Assert.Equal Hoisted(2), 4, "a Function declared in an If block"
If False Then
    Function Hoisted(n)
        Hoisted = n * 2
    End Function
End If
Dim hc: Set hc = New HoistedClass
Assert.Equal hc.v, 7, "a Class declared in a loop"
Do While False
    Class HoistedClass
        Public v
        Private Sub Class_Initialize() v = 7 End Sub
    End Class
Loop

' One-line procedures.
Dim lineSet
Sub SetLine() lineSet = 5 End Sub
Function Twice(n) Twice = n * 2 End Function
SetLine
Assert.Equal lineSet, 5, "one-line Sub"
Assert.Equal Twice(4), 8, "one-line Function"
Sub CallsOnLine() SetLine End Sub
CallsOnLine

' Parenthesised callees.
Class Counter
    Public n
    Public Function Add(k) n = n + k: Add = n End Function
    Public Sub Bump() n = n + 1 End Sub
End Class
Call (New Counter).Bump()
Dim seen
Function Echo(v) Echo = v: seen = v End Function
Call (((Echo))) (3)
Assert.Equal seen, 3, "Call (((f))) (x)"
Assert.Equal (Echo)(9), 9, "(f)(x) in an expression"
Dim arr: arr = Array(10, 20)
Assert.Equal (arr)(1), 20, "(a)(i) indexes"

' Contextual keywords as names.
Dim property, error, explicit, step, get
property = 1: error = 2: explicit = 3: step = 4: get = 5
Assert.Equal property + error + explicit + step + get, 15, "contextual keywords as variables"
Function UsesNames(property, step) UsesNames = property * step End Function
Assert.Equal UsesNames(3, 5), 15, "as parameters"
Class Named
    Public Property
    Public Error
    Public Function Step() Step = "s" End Function
    Public Property Get Explicit() Explicit = "e" End Property
End Class
Dim nm: Set nm = New Named
nm.Property = 1: nm.Error = 2
Assert.Equal nm.Property + nm.Error, 3, "as fields"
Assert.Equal nm.Step() & nm.Explicit, "se", "as members"
Dim total: total = 0
For step = 1 To 6 Step 2: total = total + step: Next
Assert.Equal total, 9, "Step as the loop variable"
On Error Resume Next
On Error GoTo 0

' The last definition of a procedure wins.
Function Defined() Defined = 1 End Function
Function Defined() Defined = 2 End Function
Assert.Equal Defined(), 2, "procedure defined twice"
