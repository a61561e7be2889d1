' On Error Resume Next / GoTo 0 and the Err object: a failing call resumes
' in the caller at the next statement, the handler belongs to each
' procedure, Err is cleared by On Error and by Exit Sub/Function.
Dim trace

Sub Inner()
    trace = trace & "inner;"
    Dim x: x = 1 / 0
    trace = trace & "after;"   ' not reached: no handler here
End Sub

Sub Middle()
    trace = trace & "middle;"
    Inner
    trace = trace & "middle after;"   ' not reached either
End Sub

On Error Resume Next
trace = ""
Middle
Assert.Equal trace, "middle;inner;", "the error ends the procedures without a handler"
Assert.Equal Err.Number, 11, "Err.Number after the failing call"
Assert.Equal Err.Description, "Division by zero", "Err.Description"
Assert.Equal Err.Source, "VBScript runtime error", "Err.Source"
Assert.Check Err, "Err alone is its Number"
Err.Clear
Assert.Equal Err.Number, 0, "Clear"
Assert.Equal Err.Description, "", "Clear empties the text"

' A procedure with its own handler goes on inside itself.
Function Careful()
    On Error Resume Next
    Dim y: y = CInt("x")
    Careful = Err.Number
End Function
Assert.Equal Careful(), 13, "handled inside the procedure"

' An error in an If condition goes on into the Then block.
Dim reached: reached = False
If 1 / 0 > 1 Then reached = True
Assert.Check reached, "error in a condition enters the block"
Err.Clear

' Err.Raise with its optional arguments.
Err.Raise 1000, "MySource", "My description", "help.chm", 17
Assert.Equal Err.Number, 1000, "raised number"
Assert.Equal Err.Source, "MySource", "raised source"
Assert.Equal Err.Description, "My description", "raised description"
Assert.Equal Err.HelpFile, "help.chm", "raised help file"
Assert.Equal Err.HelpContext, 17, "raised help context"
Err.Raise 1001, , "Second"
Assert.Equal Err.Number, 1001, "a later raise sets its number"
Assert.Equal Err.Source, "MySource", "and keeps the source it leaves out"
Assert.Equal Err.Description, "Second", "sets what it gives"
Assert.Equal Err.HelpFile & Err.HelpContext, "help.chm17", "keeps the help fields"
Err.Raise 9
Assert.Equal Err.Description, "Second", "even the description of a known number"
Err.Clear
Err.Raise 9
Assert.Equal Err.Description, "Subscript out of range", "a known number gets its text"
Err.Clear
Err.Raise vbObjectError + 7
Assert.Equal Err.Number, vbObjectError + 7, "an object error number"
Assert.Equal Err.Description, "Unknown runtime error", "an unknown number's text"
Err.Number = 5
Assert.Equal Err.Number, 5, "Err.Number is writable"

' On Error GoTo 0 clears Err and turns handling off.
On Error GoTo 0
Assert.Equal Err.Number, 0, "On Error GoTo 0 clears Err"
On Error Resume Next
Err.Raise 6
On Error Resume Next
Assert.Equal Err.Number, 0, "On Error Resume Next clears Err too"

' Exit Function clears Err in a procedure handling errors.
Function ExitsEarly()
    On Error Resume Next
    Err.Raise 5
    ExitsEarly = Err.Number
    Exit Function
End Function
Err.Clear
Assert.Equal ExitsEarly(), 5, "the error seen inside"
Assert.Equal Err.Number, 0, "and cleared by Exit Function"

' The handler setting is per procedure: a callee's Resume Next does not
' protect its caller, and the caller's does not carry into the callee.
Function Unprotected()
    Unprotected = 1
    Err.Raise 1234
    Unprotected = 2
End Function
Dim r
r = Unprotected()
Assert.Equal Err.Number, 1234, "callee error reached the caller's handler"
Assert.Check IsEmpty(r), "the assignment of the failed call was skipped"

' Errors inside class members and through host calls.
Class Thrower
    Public Sub Fail()
        Err.Raise 77, "Thrower", "thrown"
    End Sub
End Class
Dim t: Set t = New Thrower
Err.Clear
t.Fail
Assert.Equal Err.Number, 77, "error from a method"
Assert.Equal Err.Source, "Thrower", "with its source"
Err.Clear
Items.NoSuchMember
Assert.Equal Err.Number, 438, "host member missing"
On Error GoTo 0

' Execute, ExecuteGlobal and Eval.
Dim g: g = 1
Execute "g = g + 1"
Assert.Equal g, 2, "Execute in global code"
ExecuteGlobal "Function Added(a): Added = a + 100: End Function"
Assert.Equal Added(1), 101, "ExecuteGlobal declares procedures"
Assert.Equal Eval("g * 10"), 20, "Eval"
Assert.Equal Eval("g = 2"), True, "Eval compares"

Function Scoped(p)
    Dim local: local = 5
    Execute "local = local + p"
    Scoped = Eval("local * 2")
End Function
Assert.Equal Scoped(3), 16, "Execute and Eval see the procedure's variables"

Class Evaluator
    Private m_value
    Public Function Run(text)
        m_value = 3
        Run = Eval(text)
    End Function
End Class
Dim ev: Set ev = New Evaluator
Assert.Equal ev.Run("m_value + 1"), 4, "Eval inside a class sees its members"

On Error Resume Next
Dim bad: bad = Eval("1 +")
Assert.Equal Err.Number, 1023, "a compilation error in Eval text is a run-time error"
Err.Clear
On Error GoTo 0

' GetRef.
Function Mul(a, b)
    Mul = a * b
End Function
Dim ref: Set ref = GetRef("Mul")
Assert.Equal ref(6, 7), 42, "a function reference called by the script"
Assert.Equal TypeName(ref), "Object", "GetRef gives an object"
On Error Resume Next
Set ref = GetRef("NoSuchProcedure")
Assert.Equal Err.Number, 5, "GetRef of an unknown name"
On Error GoTo 0

' Stop does nothing.
Stop
Assert.Check True, "after Stop"

' Err.Description is the bare text; the name an error is about only goes
' into the report of an error nobody handled.
On Error Resume Next
Dim plain
plain = CInt("abc")
Assert.Equal Err.Description, "Type mismatch", "a built-in's type mismatch"
Err.Clear
plain = Mid("abc", 0)
Assert.Equal Err.Description, "Invalid procedure call or argument", "a built-in's invalid argument"
Err.Clear
plain = Left("abc")
Assert.Equal Err.Description, "Wrong number of arguments or invalid property assignment", "a built-in's arguments"
Err.Clear
plain = MonthName(13)
Assert.Equal Err.Description, "Invalid procedure call or argument", "MonthName"
Err.Clear
Execute "Option Explicit : undefinedName = 1"
Assert.Equal Err.Number, 500, "an undefined variable"
Assert.Equal Err.Description, "Variable is undefined", "without its name"
Err.Clear
Set plain = CreateObject("No.Such.Thing")
Assert.Equal Err.Description, "ActiveX component can't create object", "CreateObject"
Err.Clear
On Error GoTo 0
