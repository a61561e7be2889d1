// The lexer: script text to tokens. Names and keywords are matched without
// regard to case; " _" at the end of a line continues the statement on the
// next; ':' separates statements; comments start with ' or Rem. Literals
// get their VBScript subtypes here (Integer, Long or Double; &H and &O;
// strings with doubled quotes; #date#).
#pragma once

#include "engines/vbscript/value.h"

#include <string>
#include <vector>

namespace vbs {

enum class Tok : std::uint8_t {
    End,        // end of text
    Newline,    // end of a line (a statement boundary)
    Colon,      // ':' statement separator
    Name,       // an identifier or keyword (kw says which)
    Literal,    // number, string, date
    LParen, RParen, Comma, Dot,
    Plus, Minus, Star, Slash, Backslash, Caret, Amp,
    Eq, Ne, Lt, Gt, Le, Ge,
};

enum class Kw : std::uint8_t {
    None,
    And, ByRef, ByVal, Call, Case, Class, Const, Dim, Do, Each, Else, ElseIf, Empty, End, Eqv, Erase, Error,
    Exit, Explicit, False, For, Function, Get, GoTo, If, Imp, In, Is, Let, Loop, Me, Mod, New, Next, Not,
    Nothing, Null, On, Option, Or, Preserve, Private, Property, Public, ReDim, Resume, Select, Set, Step,
    Stop, Sub, Then, To, True, Until, Wend, While, With, Xor,
};

struct Token {
    Tok type = Tok::End;
    Kw kw = Kw::None;
    std::uint32_t line = 0;    // zero-based within the text
    std::uint32_t column = 0;  // zero-based
    std::u16string text;       // the name as written
    Value value;               // a literal's value
    bool spaced = false;       // blanks before it (" .x" inside With starts an argument)
};

// Splits text into tokens; throws a positioned compilation ScriptError.
std::vector<Token> tokenize(std::u16string_view text);

// Lower-case form of a name, for case-insensitive lookups.
std::u16string foldName(std::u16string_view name);

}  // namespace vbs
