' Math functions and their result types.
Assert.Equal Abs(-3), 3, "Abs"
Assert.Equal TypeName(Abs(-3)), "Integer", "Abs keeps Integer"
Assert.Equal Abs(-32768), 32768, "Abs promotes"
Assert.Check IsNull(Abs(Null)), "Abs(Null)"
Assert.Equal Int(2.7), 2, "Int"
Assert.Equal Int(-2.7), -3, "Int rounds down"
Assert.Equal Fix(-2.7), -2, "Fix truncates"
Assert.Equal TypeName(Int(2.5)), "Double", "Int keeps Double"
Assert.Equal TypeName(Int(7)), "Integer", "Int keeps Integer"
Assert.Equal Round(2.5), 2, "Round half to even"
Assert.Equal Round(3.5), 4, "Round half to even, up"
Assert.Equal Round(-2.5), -2, "negative half"
Assert.Equal Round(3.14159, 2), 3.14, "Round to places"
Assert.Equal Round(2.675, 2), 2.68, "Round the written decimal"
Assert.Equal Sgn(-4), -1, "Sgn"
Assert.Equal Sgn(0), 0, "Sgn zero"
Assert.Equal Sqr(16), 4, "Sqr"
Assert.Check Abs(Sin(1) ^ 2 + Cos(1) ^ 2 - 1) < 1E-15, "Sin and Cos"
Assert.Check Abs(Atn(1) * 4 - 3.14159265358979) < 1E-14, "Atn"
Assert.Check Abs(Tan(0.5) - Sin(0.5) / Cos(0.5)) < 1E-15, "Tan"
Assert.Check Abs(Log(Exp(2)) - 2) < 1E-15, "Log and Exp"
Assert.Equal Sin("0"), 0, "numeric string argument"

Dim r, i, ok: ok = True
For i = 1 To 1000
    r = Rnd
    If r < 0 Or r >= 1 Then ok = False
Next
Assert.Check ok, "Rnd in [0, 1)"
Assert.Equal TypeName(Rnd), "Single", "Rnd gives a Single"
Dim first: first = Rnd(-1)
Dim again: again = Rnd(-1)
Assert.Equal first, again, "a negative argument restarts the sequence"
Assert.Equal Rnd(0), again, "Rnd(0) repeats the last number"
Randomize 42
Dim seeded: seeded = Rnd
Randomize 42
Assert.Check Rnd >= 0, "Randomize with a seed"
Randomize
Assert.Check Timer >= 0 And Timer < 86400, "Timer counts seconds since midnight"
