// Scripting.Dictionary as JScript programs use it.
var d = new ActiveXObject("Scripting.Dictionary");
d.Add("a", "Athens");
d.Add("b", "Belgrade");
d.Add(3, "three");
Assert.Equal(d.Count, 3, "Count");
Assert.Equal(d.Item("a"), "Athens", "Item");
Assert.Equal(d.item("B") === undefined, true, "a missing key reads undefined");
Assert.Equal(d.Count, 4, "and is added");
d.Remove("B");
Assert.Check(d.Exists(3.0), "numbers by value");
Assert.Check(!d.Exists("3"), "text of a number is another key");

// Enumerator over the keys, in order.
var seen = [];
for (var e = new Enumerator(d); !e.atEnd(); e.moveNext()) seen.push(e.item());
Assert.Equal(seen.join(","), "a,b,3", "Enumerator over keys");

// Keys and Items come as VBArrays.
var keys = new VBArray(d.Keys()).toArray();
var items = new VBArray(d.Items()).toArray();
Assert.Equal(keys.length, 3, "Keys length");
Assert.Equal(items.join("|"), "Athens|Belgrade|three", "Items in order");

// CompareMode through a property assignment.
var t = new ActiveXObject("Scripting.Dictionary");
t.CompareMode = 1;
t.Add("Key", 1);
Assert.Check(t.Exists("kEY"), "text mode");
Assert.Equal(t.CompareMode, 1, "CompareMode reads back");

// Objects as keys and items.
var inner = new ActiveXObject("Scripting.Dictionary");
d.Add(inner, "object key");
d.Add("holder", inner);
Assert.Equal(d.Item(inner), "object key", "object key by identity");
inner.Add("x", 1);
Assert.Equal(d.Item("holder").Count, 1, "object item");

// Errors: number and description.
function failure(f) {
    try { f(); } catch (err) { return (err.number & 0xFFFF) + ":" + err.description; }
    return "no error";
}
Assert.Equal(failure(function () { d.Add("a", 1); }),
             "457:This key is already associated with an element of this collection", "duplicate key");
Assert.Equal(failure(function () { d.Remove("none"); }), "32811:Element not found", "missing key");
Assert.Equal(failure(function () { d.CompareMode = 1; }), "5:Invalid procedure call or argument", "mode with items");

d.RemoveAll();
Assert.Equal(d.Count, 0, "RemoveAll");
for (var i = 0; i < 500; i++) d.Add("k" + i, i);
Assert.Equal(d.Item("k499"), 499, "many keys");

// Assignment to a call puts the property with its arguments.
var p = new ActiveXObject("Scripting.Dictionary");
p.Item("x") = "one";
Assert.Equal(p.Count + ":" + p.Item("x"), "1:one", "Item put adds a key");
p.Item("x") = "uno";
Assert.Equal(p.Count + ":" + p.Item("x"), "1:uno", "Item put replaces the item");
p.item("n") = 5;
p.Item("n") += 2;
p.Item("n") *= 10;
Assert.Equal(p.Item("n"), 70, "compound assignments read, then put");
var before = p.Item("n")++;
++p.Item("n");
Assert.Equal(before + ":" + p.Item("n"), "70:72", "increments, after and before");
p("d") = "default";
p["Item"]("b") = "bracket";
Assert.Equal(p.Item("d") + "," + p.Item("b"), "default,bracket", "the default member and a member by its name");
var r = (p.Item("r") = 7);
Assert.Equal(r, 7, "the assignment's value is the value put");
p.Item("o") = inner;
inner.Add("y", 2);
Assert.Equal(p.Item("o").Count, 2, "is the object itself, not a copy");
var order = [];
function key() { order.push("key"); return "k"; }
function value() { order.push("value"); return 1; }
p.Item(key()) = value();
Assert.Equal(order.join(","), "key,value", "the arguments before the value");
p.Key("x") = "y";
Assert.Check(p.Exists("y") && !p.Exists("x"), "Key renames");
Assert.Equal(p.Item("y"), "uno", "and keeps the item");
Assert.Equal(failure(function () { p.Key("none") = "z"; }), "32811:Element not found", "Key of a missing key");
Assert.Equal(failure(function () { p.Key("y") = "n"; }),
             "457:This key is already associated with an element of this collection", "Key to a key in use");
Assert.Equal(failure(function () { p.Nothing("y") = 1; }),
             "438:Object doesn't support this property or method: 'Nothing'", "a member the object lacks");
Assert.Equal(failure(function () { p.Count() = 1; }), "3:Member not found", "a property that cannot be put");
