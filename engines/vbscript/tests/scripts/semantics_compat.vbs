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
