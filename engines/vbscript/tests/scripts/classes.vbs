' Classes: fields, methods, properties, default members, New, Me,
' Class_Initialize and Class_Terminate (deterministic, in VBScript's order).
Dim log
log = ""

Class Counter
    Private m_count
    Public Name
    Public Items(2)
    Dim Extra

    Private Sub Class_Initialize()
        m_count = 10
        Name = "counter"
        log = log & "init;"
    End Sub

    Private Sub Class_Terminate()
        log = log & "term " & Name & ";"
    End Sub

    Public Property Get Count()
        Count = m_count
    End Property

    Public Property Let Count(value)
        If value < 0 Then Exit Property
        m_count = value
    End Property

    Public Function Increment(by)
        m_count = m_count + by
        Increment = m_count
    End Function

    Public Sub Reset()
        m_count = 0
    End Sub

    Private Function Secret()
        Secret = 42
    End Function

    Public Function CallsPrivate()
        CallsPrivate = Secret() + Me.Secret
    End Function

    Public Function Self()
        Set Self = Me
    End Function

    Public Function Twice()
        Twice = Increment(1) + Count
    End Function
End Class

Dim c
Set c = New Counter
Assert.Equal log, "init;", "Class_Initialize runs on New"
Assert.Equal c.Count, 10, "Property Get"
c.Count = 25
Assert.Equal c.Count, 25, "Property Let"
c.Count = -1
Assert.Equal c.Count, 25, "Exit Property leaves the value"
Assert.Equal c.Increment(5), 30, "Function member"
c.Reset
Assert.Equal c.Count, 0, "Sub member"
c.Name = "renamed"
Assert.Equal c.Name, "renamed", "public field"
c.Items(1) = "b"
Assert.Equal c.Items(1), "b", "array field"
Assert.Equal UBound(c.Items), 2, "array field bounds"
Assert.Equal c.CallsPrivate(), 84, "private members reach their own class's code"
Assert.Check c.Self() Is c, "Me is the object"
Assert.Equal c.Twice(), 2, "members called by bare name"
Assert.Equal TypeName(c), "Counter", "TypeName gives the class name"
Assert.Check IsObject(c), "an instance is an object"
Assert.Check IsEmpty(c.Extra), "Dim in a class declares a public field"

Dim failed
On Error Resume Next
failed = c.Secret
Assert.Equal Err.Number, 438, "private member hidden from outside"
Err.Clear
c.m_count = 5
Assert.Equal Err.Number, 438, "private field hidden from outside"
Err.Clear
Dim notAClass
Set notAClass = New NoSuchClass
Assert.Equal Err.Number, 429, "New of an unknown class"
On Error GoTo 0

' Terminate runs when the last reference goes.
log = ""
Dim d
Set d = c
Set c = Nothing
Assert.Equal log, "", "a second reference keeps the object"
Set d = Nothing
Assert.Equal log, "term renamed;", "Set x = Nothing runs Class_Terminate at once"

' Replacing the object: the new one initializes before the old one terminates.
log = ""
Set c = New Counter
c.Name = "first"
Set c = New Counter
Assert.Equal log, "init;init;term first;", "replace order"
c.Name = "second"

' Locals end with their procedure.
Sub UseLocal()
    Dim local
    Set local = New Counter
    local.Name = "local"
    log = log & "body;"
End Sub
log = ""
UseLocal
Assert.Equal log, "init;body;term local;", "a local object terminates when its procedure ends"

' A temporary object terminates after the statement using it.
log = ""
Dim n
n = (New Counter).Increment(1)
Assert.Equal n, 11, "member of a temporary"
Assert.Equal log, "init;term counter;", "the temporary terminated"

' Default members.
Class Box
    Private m_items()
    Private m_size
    Private Sub Class_Initialize()
        ReDim m_items(3)
        m_size = 0
    End Sub
    Public Default Property Get Item(i)
        Item = m_items(i)
    End Property
    Public Property Let Item(i, v)
        m_items(i) = v
        If i >= m_size Then m_size = i + 1
    End Property
    Public Property Get Size()
        Size = m_size
    End Property
End Class

Dim b
Set b = New Box
b(0) = "zero"
b.Item(2) = "two"
Assert.Equal b(0), "zero", "default property with an argument"
Assert.Equal b.Item(2), "two", "named default property"
Assert.Equal b.Size, 3, "Let with an index argument"

Class Named
    Public Default Function Text()
        Text = "named"
    End Function
End Class
Dim nm
Set nm = New Named
Assert.Equal nm & "!", "named!", "default function used as a value"
Assert.Equal "x" & nm, "xnamed", "default on the right"

' Property Set and objects in fields.
Class Holder
    Private m_obj
    Public Property Set Target(o)
        Set m_obj = o
    End Property
    Public Property Get Target()
        Set Target = m_obj
    End Property
End Class
Dim h
Set h = New Holder
Set h.Target = b
Assert.Check h.Target Is b, "Property Set and Get of an object"
Assert.Equal h.Target.Size, 3, "chained members"

' Objects in fields terminate after their holder, in declaration order.
Class Tagged
    Public Tag
    Private Sub Class_Terminate()
        log = log & Tag & ";"
    End Sub
End Class
Class Pair
    Public First, Second
    Private Sub Class_Terminate()
        log = log & "pair;"
    End Sub
End Class
log = ""
Dim p
Set p = New Pair
Set p.First = New Tagged: p.First.Tag = "a"
Set p.Second = New Tagged: p.Second.Tag = "b"
Set p = Nothing
Assert.Equal log, "pair;a;b;", "holder first, then its fields in order"

' Classes passed through host objects and back.
Items.Add b
Dim back
Set back = Items(Items.Count - 1)
Assert.Check back Is b, "a host hands the object back"
Assert.Equal back.Size, 3, "and it still works"

' With blocks, nested.
Set c = New Counter
With c
    .Count = 7
    .Name = "with"
    Assert.Equal .Count, 7, "With member"
    With b
        Assert.Equal .Size, 3, "inner With"
        Assert.Equal .Item(0), "zero", "inner With member with arguments"
    End With
    Assert.Equal .Name, "with", "outer With again"
    .Reset
End With
Assert.Equal c.Count, 0, "With method call"

' Recursion inside a class, and Me passed along.
Class Maths
    Public Function Fact(n)
        If n <= 1 Then Fact = 1 Else Fact = n * Fact(n - 1)
    End Function
End Class
Dim m
Set m = New Maths
Assert.Equal m.Fact(10), 3628800, "recursive method"
