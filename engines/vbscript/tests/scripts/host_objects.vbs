' Host objects through IDispatch.
Dim c, re, im
Set c = CreateObject("Sumtrel.complex")
re = 0: im = 0
c.conj 3, 4, re, im
Assert.Equal re, 3, "by-reference output: real part"
Assert.Equal im, -4, "by-reference output: imaginary part"
Call c.conj(1, 2, re, im)
Assert.Equal im, -2, "with Call"
Assert.Equal c.abs(3, 4), 5, "a method's return value"
Assert.Equal c.norm(3, 4), 25, "another method"
Assert.Equal TypeName(c), "complex", "TypeName of a host object"

Dim m: Set m = CreateObject("Sumtrel.MathClass")
Assert.Check Abs(m.J0(0) - 1) < 1E-12, "J0(0)"
Assert.Check Abs(m.Jn(1, 1.5) - m.J1(1.5)) < 1E-12, "numeric argument conversion"

Set m = Nothing
Assert.Check m Is Nothing, "Set Nothing"

Items.Name = "first"
Assert.Equal Items.Name, "first", "property put and get"
Dim held0: Set held0 = Items
held0.Name = 12
Assert.Equal Items.Name, 12, "through another reference"

' The collection's default member and Count.
Assert.Equal Items(1), "two", "default member with an argument"
Assert.Equal Items.Item(2), 3.5, "named member"
Assert.Equal Items.Count, 3, "a property"
Items.Add "four"
Assert.Equal Items.Count, 4, "a method changed the object"
Dim held: Set held = Items
Assert.Equal held(3), "four", "default member through a variable"
