// Assignment to a call: scripts of this language write `d.Item(k) = v` and
// `d.Key(k) = k2` on component objects, which sets a property that takes
// arguments. ECMAScript has no such target, so a pass over each chunk of
// script text, before Duktape compiles it, turns the call on the left of
// an assignment into a reference object whose property `v` is the member:
//
//   obj.Name(args) op= value   ->   __qRef(obj, "Name", [args]).v op= value
//   obj[key](args) op= value   ->   __qRef(obj, (key), [args]).v op= value
//   callee(args) op= value     ->   __qRef(callee, null, [args]).v op= value
//
// for `=` and every compound assignment, and likewise for `++` and `--`
// before or after such a call. Only the left side is rewritten, so the
// value's text is untouched and nothing has to find where it ends. Line
// breaks inside the rewritten text are kept, so every token stays on its
// line; columns on such a line move.
//
// __qRef (installed by installCallAssignment) makes the reference for a
// component object and raises "Cannot assign to a function result" for
// anything else. Reading `v` gets the member with the arguments, writing
// it puts it; a compound assignment does both.
#pragma once

#include <string>
#include <string_view>

namespace jscript {

// The text to compile; equal to source when nothing is rewritten.
std::u16string rewriteCallAssignments(std::u16string_view source);

}  // namespace jscript
