// Lookup of the built-in functions by name, and the named constants.
#include "engines/vbscript/lexer.h"
#include "engines/vbscript/runtime/builtins.h"

#include <unordered_map>
#include <vector>

namespace vbs {

namespace {

struct Table {
    std::vector<Builtin> all;
    std::unordered_map<std::u16string, int> byName;
    // Kept as plain data: values made from them are fresh for every caller,
    // so engines on different threads share nothing counted.
    struct Constant {
        bool isText = false;
        std::u16string text;
        std::int32_t number = 0;
        bool isLong = false;  // a Long even when an Integer would hold it
    };
    std::unordered_map<std::u16string, Constant> constants;

    Table() {
        for (auto group : {mathBuiltins(), stringBuiltins(), conversionBuiltins(), arrayBuiltins(), infoBuiltins(),
                           dateBuiltins(), formatBuiltins(), textBuiltins(), hostBuiltins()}) {
            for (const Builtin& b : group) {
                byName.emplace(foldName(b.name), static_cast<int>(all.size()));
                all.push_back(b);
            }
        }
        auto text = [&](std::u16string_view name, std::u16string value) {
            constants.emplace(foldName(name), Constant{true, std::move(value), 0});
        };
        auto number = [&](std::u16string_view name, std::int32_t value) {
            constants.emplace(foldName(name), Constant{false, {}, value});
        };
        auto longNumber = [&](std::u16string_view name, std::int32_t value) {
            constants.emplace(foldName(name), Constant{false, {}, value, true});
        };
        text(u"vbCrLf", u"\r\n");
        text(u"vbNewLine", u"\r\n");
        text(u"vbCr", u"\r");
        text(u"vbLf", u"\n");
        text(u"vbTab", u"\t");
        text(u"vbFormFeed", u"\f");
        text(u"vbVerticalTab", u"\v");
        text(u"vbNullString", u"");
        text(u"vbNullChar", std::u16string(1, u'\0'));
        number(u"vbTrue", -1);
        number(u"vbFalse", 0);
        number(u"vbUseDefault", -2);
        number(u"vbBinaryCompare", 0);
        number(u"vbTextCompare", 1);
        number(u"vbDatabaseCompare", 2);
        // VarType values.
        number(u"vbEmpty", 0);
        number(u"vbNull", 1);
        number(u"vbInteger", 2);
        number(u"vbLong", 3);
        number(u"vbSingle", 4);
        number(u"vbDouble", 5);
        number(u"vbCurrency", 6);
        number(u"vbDate", 7);
        number(u"vbString", 8);
        number(u"vbObject", 9);
        number(u"vbError", 10);
        number(u"vbBoolean", 11);
        number(u"vbVariant", 12);
        number(u"vbDataObject", 13);
        number(u"vbDecimal", 14);
        number(u"vbByte", 17);
        number(u"vbArray", 8192);
        // Colours and MsgBox options are Longs, whatever their size.
        // Colours.
        longNumber(u"vbBlack", 0x000000);
        longNumber(u"vbRed", 0x0000FF);
        longNumber(u"vbGreen", 0x00FF00);
        longNumber(u"vbYellow", 0x00FFFF);
        longNumber(u"vbBlue", 0xFF0000);
        longNumber(u"vbMagenta", 0xFF00FF);
        longNumber(u"vbCyan", 0xFFFF00);
        longNumber(u"vbWhite", 0xFFFFFF);
        number(u"vbObjectError", static_cast<std::int32_t>(0x80040000u));
        // MsgBox buttons, icons and options.
        longNumber(u"vbOKOnly", 0);
        longNumber(u"vbOKCancel", 1);
        longNumber(u"vbAbortRetryIgnore", 2);
        longNumber(u"vbYesNoCancel", 3);
        longNumber(u"vbYesNo", 4);
        longNumber(u"vbRetryCancel", 5);
        longNumber(u"vbCritical", 16);
        longNumber(u"vbQuestion", 32);
        longNumber(u"vbExclamation", 48);
        longNumber(u"vbInformation", 64);
        longNumber(u"vbDefaultButton1", 0);
        longNumber(u"vbDefaultButton2", 256);
        longNumber(u"vbDefaultButton3", 512);
        longNumber(u"vbDefaultButton4", 768);
        longNumber(u"vbApplicationModal", 0);
        longNumber(u"vbSystemModal", 4096);
        longNumber(u"vbMsgBoxHelpButton", 16384);
        longNumber(u"vbMsgBoxSetForeground", 65536);
        longNumber(u"vbMsgBoxRight", 524288);
        longNumber(u"vbMsgBoxRtlReading", 1048576);
        // MsgBox results.
        number(u"vbOK", 1);
        number(u"vbCancel", 2);
        number(u"vbAbort", 3);
        number(u"vbRetry", 4);
        number(u"vbIgnore", 5);
        number(u"vbYes", 6);
        number(u"vbNo", 7);
        // Days of the week and the first week of the year.
        number(u"vbUseSystemDayOfWeek", 0);
        number(u"vbSunday", 1);
        number(u"vbMonday", 2);
        number(u"vbTuesday", 3);
        number(u"vbWednesday", 4);
        number(u"vbThursday", 5);
        number(u"vbFriday", 6);
        number(u"vbSaturday", 7);
        number(u"vbUseSystem", 0);
        number(u"vbFirstJan1", 1);
        number(u"vbFirstFourDays", 2);
        number(u"vbFirstFullWeek", 3);
        // FormatDateTime formats.
        number(u"vbGeneralDate", 0);
        number(u"vbLongDate", 1);
        number(u"vbShortDate", 2);
        number(u"vbLongTime", 3);
        number(u"vbShortTime", 4);
    }
};

const Table& table() {
    static const Table t;
    return t;
}

}  // namespace

int findBuiltin(std::u16string_view folded) {
    const Table& t = table();
    auto it = t.byName.find(std::u16string(folded));
    return it == t.byName.end() ? -1 : it->second;
}

const Builtin& builtinAt(int index) { return table().all[static_cast<std::size_t>(index)]; }

bool builtinIsSub(int index) { return foldName(builtinAt(index).name) == u"randomize"; }

bool findConstant(std::u16string_view folded, Value& out) {
    const Table& t = table();
    auto it = t.constants.find(std::u16string(folded));
    if (it == t.constants.end()) return false;
    const Table::Constant& c = it->second;
    if (c.isText) out = Value::string(c.text);
    else if (!c.isLong && c.number >= -32768 && c.number <= 32767) out = Value::integer(static_cast<std::int16_t>(c.number));
    else out = Value::longInt(c.number);
    return true;
}

}  // namespace vbs
