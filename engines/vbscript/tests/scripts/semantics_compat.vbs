' Radix literals with the & suffix take the smallest type that holds them.
Assert.Equal TypeName(&h10&), "Integer", "&h10& is an Integer"
Assert.Equal TypeName(&hFFFF&), "Long", "&hFFFF& is a Long"
Assert.Equal &hFFFF&, 65535, "its value is not a bit pattern"
Assert.Equal &hFFFF, -1, "without the suffix 16 bits are an Integer's pattern"
Assert.Equal TypeName(&o77&), "Integer", "octal too"
Assert.Equal &hFFFFFFFF&, -1, "32 bits are a Long's pattern"

' Let of Nothing.
Dim target
On Error Resume Next
target = Nothing
Assert.Equal Err.Number, 91, "x = Nothing is error 91"
Assert.Equal Err.Description, "Object variable not set", "its text"
Err.Clear

' For Each over what is no collection, under On Error Resume Next.
Function Raises() Raises = 1 / 0 End Function
Dim runs, item, empt
runs = 0
For Each item In Raises()
    runs = runs + 1
Next
Assert.Equal runs, 1, "a raising collection runs the body once"
Err.Clear
runs = 0
For Each item In empt
    runs = runs + 1
Next
Assert.Equal runs, 1, "Empty runs the body once"
Err.Clear
runs = 0
For Each item In Array(1, 2, 3)
    runs = runs + item
Next
Assert.Equal runs, 6, "a real array still iterates"

' A raising Case is taken.
Dim taken
Select Case 2
    Case 1: taken = "one"
    Case Raises(): taken = "raising"
    Case 2: taken = "two"
End Select
Assert.Equal taken, "raising", "the raising Case"
Select Case 3
    Case 1, Raises(): taken = "second item"
    Case Else: taken = "else"
End Select
Assert.Equal taken, "second item", "an item after others"
Select Case 2
    Case 1: taken = "one"
    Case 2: taken = "two"
End Select
Assert.Equal taken, "two", "no error: the matching Case"
On Error GoTo 0

' A member that takes no arguments, given some: they index what it returns.
Class Shelf
    Public Property Get Items
        Items = Array("a", "b", "c")
    End Property
    Public Function Inner()
        Set Inner = New Scaler
    End Function
    Public Property Get Size
        Size = 3
    End Property
    Public Function Second()
        Second = Items(1)
    End Function
End Class
Class Scaler
    Public Default Function Times(n)
        Times = n * 10
    End Function
End Class
Dim sh
Set sh = New Shelf
Assert.Equal sh.Items(2), "c", "a Property Get's array, indexed"
Assert.Equal sh.Inner(4), 40, "a Function's object, its default member called"
Assert.Equal sh.Second(), "b", "inside the class too"
On Error Resume Next
Dim size
size = sh.Size(1)
Assert.Equal Err.Number, 450, "a number cannot be indexed: wrong number of arguments"
Err.Clear
On Error GoTo 0
Items.Name = Array(5, 6, 7)
Assert.Equal Items.Name(1), 6, "a host property's array, indexed"
Items.Name = "plain"
On Error Resume Next
size = Items.Name(1)
Assert.Equal Err.Number, 450, "a host property's string cannot be indexed"
On Error GoTo 0
Items.Name = Empty
