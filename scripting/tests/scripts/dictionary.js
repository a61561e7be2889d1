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
