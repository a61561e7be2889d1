' Precedence, Variant arithmetic and comparison rules.
Assert.Equal 2 + 3 * 4, 14, "* before +"
Assert.Equal -2 ^ 2, 4, "unary minus before ^"
Assert.Equal -3 ^ 2, 9, "the sign belongs to the base"
Assert.Equal 2 ^ -2 * 4, 1, "a sign may start the exponent"
Assert.Equal 2 ^ -1, 0.5, "negative exponent"
Assert.Equal 2 ^ 3 ^ 2, 64, "^ is left associative"
Assert.Equal 7 \ 2 * 2, 7 \ 4, "* before \"
Assert.Equal 10 Mod 4 + 1, 3, "Mod before +"
Assert.Equal 1 + 2 & 3 + 4, "37", "+ before &"
Assert.Equal Not 1 = 2, True, "Not after comparison"
Assert.Equal True Or False And False, True, "And before Or"
Assert.Equal 5 > 3 = True, True, "comparisons chain left to right"

' Integer arithmetic promotes on overflow.
Dim i: i = 32767
Assert.Equal TypeName(i + 1), "Long", "Integer overflow gives Long"
Assert.Equal i + 1, 32768, "value kept"
Dim l: l = 2147483647
Assert.Equal TypeName(l + 1), "Double", "Long overflow gives Double"
Assert.Equal TypeName(200 * 200), "Long", "product promoted"
Assert.Equal TypeName(-(-32768)), "Long", "negation promoted"
Assert.Equal TypeName(1 + 1), "Integer", "Integer stays Integer"
Assert.Equal TypeName(1 + 1.5), "Double", "Double wins"
Assert.Equal TypeName(10 / 2), "Double", "/ gives Double"
Assert.Equal 7 \ 2, 3, "integer division"
Assert.Equal -7 \ 2, -3, "truncates toward zero"
Assert.Equal 7.6 \ 2, 4, "operands rounded first"
Assert.Equal 2.5 \ 1, 2, "rounded half to even"
Assert.Equal -7 Mod 3, -1, "Mod keeps the dividend's sign"
Assert.Equal 5.5 Mod 3, 0, "Mod rounds its operands"

' Strings and Empty in arithmetic.
Assert.Equal "1" + 2, 3, "numeric string plus number"
Assert.Equal TypeName("1" + 2), "Double", "string read as Double"
Assert.Equal "a" + "b", "ab", "+ joins two strings"
Assert.Equal "3" * "4", 12, "strings multiply"
Dim e
Assert.Equal e + 1, 1, "Empty is 0"
Assert.Equal e & "x", "x", "Empty is """""
Assert.Equal TypeName(e + e), "Integer", "Empty + Empty"
Assert.Equal 1 & 2, "12", "& converts numbers"
Assert.Equal "x" & 1.5, "x1.5", "& with a Double"
Assert.Equal "v" & True, "vTrue", "& with a Boolean"

' Null propagates.
Assert.Check IsNull(Null + 1), "Null + 1"
Assert.Check IsNull(Null * 0), "Null * 0"
Assert.Check IsNull(Null = Null), "Null = Null"
Assert.Check IsNull(1 < Null), "comparison with Null"
Assert.Equal Null & "a", "a", "& skips Null"
Assert.Check IsNull(Null & Null), "Null & Null"
Assert.Equal Null And False, False, "Null And False"
Assert.Check IsNull(Null And True), "Null And True"
Assert.Equal Null Or True, True, "Null Or True"
Assert.Check IsNull(Null Or False), "Null Or False"
Assert.Check IsNull(Not Null), "Not Null"

' Logical operators: Boolean on Booleans, bitwise on numbers.
Assert.Equal 12 And 10, 8, "bitwise And"
Assert.Equal 12 Or 3, 15, "bitwise Or"
Assert.Equal 6 Xor 3, 5, "bitwise Xor"
Assert.Equal Not 0, -1, "Not 0"
Assert.Equal TypeName(Not 5), "Integer", "Not keeps Integer"
Assert.Equal True Xor True, False, "Xor"
Assert.Equal False Eqv False, True, "Eqv"
Assert.Equal True Imp False, False, "Imp"
Assert.Equal False Imp False, True, "Imp from False"

' Comparisons: strings with numbers.
Dim n, s
n = 5: s = "5"
Assert.Equal n = "5", True, "a literal string is read as a number"
Assert.Equal "5" = n, True, "on either side"
Assert.Equal s = 5, True, "a literal number against a string compares text"
Assert.Equal n = s, False, "two variables: a number is less than a string"
Assert.Equal n < s, True, "number below string"
Assert.Equal "abc" < "abd", True, "strings compare by character"
Assert.Equal "B" < "a", True, "binary comparison"
Assert.Equal e = "", True, "Empty equals """""
Assert.Equal e = 0, True, "Empty equals 0"
Assert.Equal 10 > 9, True, "numbers compare as numbers"
Assert.Equal "10" > "9", False, "strings compare as text"
Dim o1, o2
Set o1 = Items: Set o2 = Items
Assert.Check o1 Is o2, "Is compares objects"
Assert.Check Not (o1 Is Nothing), "Is Nothing"
