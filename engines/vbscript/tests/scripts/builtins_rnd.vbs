' Rnd repeats VBScript's sequences exactly. Each number times 2^24 is the
' generator's 24-bit state, so the checks compare whole numbers.
Const Scale = 16777216
Dim x, a, b

Assert.Equal Rnd * Scale, 11837123, "a fresh engine's first number"
Assert.Equal Rnd * Scale, 8949370, "and its second"
Assert.Equal Rnd(0) * Scale, 8949370, "Rnd(0) repeats the last number"
Assert.Equal Rnd(1) * Scale, 9722709, "a positive argument gives the next number"

Assert.Equal Rnd(-1) * Scale, 3758214, "Rnd(-1) restarts from the bits of -1"
Assert.Equal Rnd * Scale, 601393, "the sequence after Rnd(-1)"
Assert.Equal Rnd(-1) * Scale, 3758214, "Rnd(-1) again gives the same number"
Assert.Equal Rnd(-2) * Scale, 11967619, "Rnd(-2)"
Assert.Equal Rnd(-12345.678) * Scale, 645199, "a fractional negative seed is taken as a Single"

' The usual way to repeat a seeded sequence: Rnd with a negative number,
' then Randomize with the seed.
x = Rnd(-1)
Randomize 5
a = Rnd
b = Rnd
Assert.Equal a * Scale, 15006001, "Randomize 5 after Rnd(-1)"
Assert.Equal b * Scale, 11712304, "and the next number"
x = Rnd(-1)
Randomize 5
Assert.Equal Rnd, a, "the seeded sequence repeats"
Assert.Equal Rnd, b, "the seeded sequence repeats on"
x = Rnd(-1)
Randomize 1.5
Assert.Equal Rnd * Scale, 7687473, "Randomize with a fraction"
x = Rnd(-1)
Randomize -3
Assert.Equal Rnd * Scale, 3480881, "Randomize with a negative number"

Dim i, ok: ok = True
Randomize
For i = 1 To 1000
    x = Rnd
    If x < 0 Or x >= 1 Then ok = False
Next
Assert.Check ok, "Rnd stays in [0, 1)"
Assert.Equal TypeName(Rnd), "Single", "Rnd gives a Single"
Assert.Equal TypeName(Rnd(0)), "Single", "Rnd(0) gives a Single"

' ---- Round: halves to even
Assert.Equal Round(2.5), 2, "Round(2.5)"
Assert.Equal Round(3.5), 4, "Round(3.5)"
Assert.Equal Round(-3.5), -4, "Round(-3.5)"
Assert.Equal Round(0.125, 2), 0.12, "Round(0.125, 2)"
Assert.Equal Round(0.375, 2), 0.38, "Round(0.375, 2)"
Assert.Equal Round(1.005, 2), 1, "Round(1.005, 2): the half of the written decimal goes to even"
Assert.Equal Round(123.456, 0), 123, "no places"
Assert.Equal Round(1E+20, 2), 1E+20, "a number too large for decimals"
Assert.Equal Round(1.23456789, 20), 1.23456789, "more places than a Double holds"
Assert.Equal TypeName(Round(2.5)), "Double", "Round keeps a Double"
Assert.Equal TypeName(Round(CSng(2.5))), "Single", "Round keeps a Single"
Assert.Equal TypeName(Round(CCur(2.5))), "Currency", "Round keeps a Currency"
Assert.Equal TypeName(Round(7)), "Integer", "Round keeps an Integer"
Assert.Check IsNull(Round(Null)), "Round(Null)"
