' Scripting.Dictionary as VBScript programs use it.
Dim d, k, s, i, arr
Set d = CreateObject("Scripting.Dictionary")
Assert.Equal TypeName(d), "Dictionary", "TypeName"
d.Add "a", "Athens"
d.Add "b", "Belgrade"
d("c") = "Cairo"
d.Item("d") = "Dublin"
Assert.Equal d.Count, 4, "Count after Add and assignment"
Assert.Equal d("a"), "Athens", "default member"
Assert.Equal d.Item("c"), "Cairo", "Item"
Assert.Check d.Exists("b"), "Exists"
Assert.Check Not d.Exists("B"), "binary comparison by default"

' Reading a missing key adds it with an Empty item.
Assert.Check IsEmpty(d("zz")), "missing key reads Empty"
Assert.Equal d.Count, 5, "the read added the key"
d.Remove "zz"

' For Each walks the keys in the order they were added.
s = ""
For Each k In d
    s = s & k & "=" & d(k) & ";"
Next
Assert.Equal s, "a=Athens;b=Belgrade;c=Cairo;d=Dublin;", "For Each over keys"

' Keys and Items are zero-based arrays; a member's result may be indexed.
arr = d.Keys
Assert.Equal UBound(arr), 3, "UBound of Keys"
Assert.Equal arr(0), "a", "first key"
Assert.Equal d.Items()(3), "Dublin", "indexing Items()"
Assert.Equal Join(d.Items, ","), "Athens,Belgrade,Cairo,Dublin", "Join of Items"

' Renaming a key keeps its place and item.
d.Key("b") = "B2"
Assert.Equal Join(d.Keys, ","), "a,B2,c,d", "renamed key in place"
Assert.Equal d("B2"), "Belgrade", "item follows the key"

' Numbers of different types are one key; the text of a number is another.
Dim n: Set n = CreateObject("Scripting.Dictionary")
n.Add 1, "one"
Assert.Check n.Exists(CDbl(1)), "Double 1 finds Long 1"
Assert.Check n.Exists(CByte(1)), "Byte 1 finds Long 1"
Assert.Check n.Exists(CCur(1)), "Currency 1 finds Long 1"
Assert.Check Not n.Exists("1"), "text ""1"" is another key"
n(1.0) = "uno"
Assert.Equal n(1), "uno", "assignment through an equal key"
Assert.Equal n.Count, 1, "still one key"
Assert.Equal n.HashVal(1), n.HashVal(1.0), "equal keys hash alike"

' Objects are keys by identity; items may be objects (Set).
Dim o1, o2
Set o1 = CreateObject("Scripting.Dictionary")
Set o2 = CreateObject("Scripting.Dictionary")
n.Add o1, "first object"
Set n("holder") = o2
Assert.Equal n(o1), "first object", "object key"
Assert.Check Not n.Exists(o2), "another object is another key"
Assert.Check n("holder") Is o2, "object item by Set"
o2.Add "inner", 42
Assert.Equal n("holder")("inner"), 42, "chained default members"

' Errors: numbers and texts.
On Error Resume Next
d.Add "a", "again"
Assert.Equal Err.Number, 457, "duplicate key number"
Assert.Equal Err.Description, "This key is already associated with an element of this collection", "duplicate key text"
Err.Clear
d.Remove "nothing"
Assert.Equal Err.Number, 32811, "Remove of a missing key"
Assert.Equal Err.Description, "Element not found", "Element not found text"
Err.Clear
d.Key("nothing") = "x"
Assert.Equal Err.Number, 32811, "Key of a missing key"
Err.Clear
d.CompareMode = vbTextCompare
Assert.Equal Err.Number, 5, "CompareMode with items"
Err.Clear
d.Add Array(1, 2), 1
Assert.Equal Err.Number, 13, "an array is no key"
Err.Clear
On Error GoTo 0

' Text comparison: keys without regard to case.
Dim t: Set t = CreateObject("Scripting.Dictionary")
t.CompareMode = vbTextCompare
Assert.Equal t.CompareMode, 1, "CompareMode reads back"
t.Add "Key", 1
Assert.Check t.Exists("KEY"), "text mode finds other case"
t("kEy") = 2
Assert.Equal t.Count, 1, "one key in text mode"
Assert.Equal t.Keys()(0), "Key", "the first spelling stays"

' RemoveAll, then the dictionary is usable again.
d.RemoveAll
Assert.Equal d.Count, 0, "RemoveAll"
Assert.Equal UBound(d.Keys), -1, "empty Keys"
For i = 1 To 1000
    d.Add "k" & i, i
Next
For i = 1 To 1000 Step 2
    d.Remove "k" & i
Next
Assert.Equal d.Count, 500, "after many removals"
Assert.Equal d("k1000"), 1000, "survivor"
Assert.Equal d.Keys()(0), "k2", "order after removals"

' A dictionary that holds itself is freed when the script breaks the cycle.
d.Add "self", d
d.RemoveAll
