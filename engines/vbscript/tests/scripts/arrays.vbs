' Fixed and dynamic arrays, ReDim Preserve, Erase, bounds and copies.
Dim fixed(3)
Assert.Equal UBound(fixed), 3, "Dim a(3) has four elements"
Assert.Equal LBound(fixed), 0, "lower bound zero"
fixed(3) = "last"
Assert.Equal fixed(3), "last", "element store"
Assert.Check IsEmpty(fixed(0)), "elements start Empty"

Dim grid(2, 4)
Assert.Equal UBound(grid, 1), 2, "first dimension"
Assert.Equal UBound(grid, 2), 4, "second dimension"
Dim r, c
For r = 0 To 2
    For c = 0 To 4
        grid(r, c) = r * 10 + c
    Next
Next
Assert.Equal grid(2, 3), 23, "two indices"
Assert.Equal grid(1.6, 0), 20, "indices are rounded"

Dim dynamic()
Assert.Check IsArray(dynamic), "Dim a() is an array"
ReDim dynamic(2)
dynamic(0) = "x": dynamic(2) = "z"
ReDim Preserve dynamic(4)
Assert.Equal dynamic(2), "z", "Preserve keeps elements"
Assert.Equal UBound(dynamic), 4, "and grows"
ReDim Preserve dynamic(1)
Assert.Equal UBound(dynamic), 1, "and shrinks"
Assert.Equal dynamic(0), "x", "keeping the rest"
ReDim dynamic(3)
Assert.Check IsEmpty(dynamic(0)), "ReDim without Preserve clears"

Dim m()
ReDim m(1, 2)
m(1, 2) = "corner"
ReDim Preserve m(1, 5)
Assert.Equal m(1, 2), "corner", "Preserve on the last dimension"
Assert.Equal UBound(m, 2), 5, "last dimension grew"

Dim copy, original
original = Array(1, 2, 3)
copy = original
copy(0) = 99
Assert.Equal original(0), 1, "assignment copies an array"
Assert.Equal copy(0), 99, "the copy changes alone"

Erase fixed
Assert.Check IsEmpty(fixed(3)), "Erase clears a fixed array"
Assert.Equal UBound(fixed), 3, "and keeps its size"

Dim a: a = Array()
Assert.Equal UBound(a), -1, "empty Array()"
Assert.Equal TypeName(Array(1)), "Variant()", "TypeName of an array"
Assert.Equal VarType(Array(1)), vbArray + vbVariant, "VarType of an array"

Dim words: words = Split("a,b,,c", ",")
Assert.Equal UBound(words), 3, "Split keeps empty parts"
Assert.Equal words(3), "c", "last part"
Assert.Equal Join(words, "-"), "a-b--c", "Join"
Assert.Equal UBound(Split("")), -1, "Split of """" is empty"
Assert.Equal UBound(Split("a b c", " ", 2)), 1, "Split with a count"
Assert.Equal Split("a b c", " ", 2)(1), "b c", "the rest in the last part"
Assert.Equal Join(Array(1, 2, 3)), "1 2 3", "Join with the default delimiter"

Dim nested: nested = Array(Array(1, 2), Array(3, 4))
Assert.Equal nested(1)(0), 3, "arrays of arrays"

' More dimensions than most arrays have: bounds, copies and ReDim Preserve.
Dim cube, cubeCopy
ReDim cube(1, 2, 3, 4)
Assert.Equal UBound(cube, 3), 3, "third of four dimensions"
Assert.Equal UBound(cube, 4), 4, "fourth of four dimensions"
cube(1, 2, 3, 4) = "corner"
cubeCopy = cube
cubeCopy(1, 2, 3, 4) = "changed"
Assert.Equal cube(1, 2, 3, 4), "corner", "a copy of a four-dimensional array is its own"
Assert.Equal UBound(cubeCopy, 4), 4, "the copy keeps every bound"
ReDim Preserve cube(1, 2, 3, 6)
Assert.Equal cube(1, 2, 3, 4), "corner", "ReDim Preserve keeps elements in four dimensions"
Assert.Equal UBound(cube, 4), 6, "the last bound grows"
Assert.Equal UBound(cube, 1), 1, "the first bound stays"
