Dim f, r
Function Twice(x)
    Twice = x * 2
End Function
Set f = GetRef("Twice")
r = f(21)
Const Limit = 3
Dim arr : arr = Array(1, "two", 3.5, Null, Empty, True)
r = LBound(arr) + UBound(arr) + Limit
r = Round(2.5) + Fix(-1.5) + Int(-1.5) + Abs(-3) + Sqr(16) + Sgn(-2)
Randomize 1 : r = Rnd
Erase arr
