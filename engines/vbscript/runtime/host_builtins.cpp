// Functions that reach beyond the script: MsgBox and InputBox through the
// host's dialogs, GetObject and LoadPicture.
//
// The dialogs come from the site (IScriptDialogs). A host without them gets
// the batch behaviour: MsgBox writes its prompt to standard output and
// answers OK, InputBox takes its default.
#include "engines/vbscript/coerce.h"
#include "engines/vbscript/errors.h"
#include "engines/vbscript/interpreter.h"
#include "engines/vbscript/runtime/builtins.h"
#include "runtime/activation.h"
#include "runtime/activscp.h"
#include "runtime/bstr.h"
#include "runtime/text.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace vbs {

namespace {

constexpr const char16_t* kDefaultTitle = u"VBScript";

qrt::ComPtr<IScriptDialogs> dialogsOf(Interpreter& vm) {
    qrt::ComPtr<IScriptDialogs> dialogs;
    if (IUnknown* site = vm.site()) site->QueryInterface(IScriptDialogs::IID, dialogs.outVoid());
    return dialogs;
}

std::u16string textArg(const Value* a, int argc, int i, std::u16string_view byDefault, std::u16string_view function) {
    if (!given(a, argc, i)) return std::u16string(byDefault);
    if (a[i].isNull()) raise(94, function);
    return toString(a[i]);
}

// MsgBox(prompt[, buttons[, title[, helpfile, context]]]): the pressed
// button as vbOK ... vbNo.
Value fnMsgBox(Interpreter& vm, Value* a, int argc) {
    const std::u16string prompt = textArg(a, argc, 0, u"", u"MsgBox");
    std::int32_t buttons = 0;
    if (given(a, argc, 1)) {
        if (a[1].isNull()) raise(94, u"MsgBox");
        buttons = toLong(a[1]);
    }
    const std::u16string title = textArg(a, argc, 2, kDefaultTitle, u"MsgBox");
    if (qrt::ComPtr<IScriptDialogs> dialogs = dialogsOf(vm)) {
        LONG result = 1;
        const HRESULT hr = dialogs->MessageBox(prompt.c_str(), title.c_str(), buttons, &result);
        if (FAILED(hr)) raiseHost(hr, {}, {});
        return Value::integer(static_cast<std::int16_t>(result));
    }
    const std::string line = qrt::encodeUtf8(prompt) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
    return Value::integer(1);  // vbOK
}

// InputBox(prompt[, title[, default[, xpos, ypos[, helpfile, context]]]]):
// the text entered, or Empty when the user cancels.
Value fnInputBox(Interpreter& vm, Value* a, int argc) {
    const std::u16string prompt = textArg(a, argc, 0, u"", u"InputBox");
    const std::u16string title = textArg(a, argc, 1, kDefaultTitle, u"InputBox");
    const std::u16string defaultText = textArg(a, argc, 2, u"", u"InputBox");
    qrt::ComPtr<IScriptDialogs> dialogs = dialogsOf(vm);
    if (!dialogs) return Value::string(defaultText);
    BSTR answer = nullptr;
    const HRESULT hr = dialogs->InputBox(prompt.c_str(), title.c_str(), defaultText.c_str(), &answer);
    if (FAILED(hr)) {
        SysFreeString(answer);
        raiseHost(hr, {}, {});
    }
    if (!answer) return {};
    Value result = Value::string(qrt::bstrView(answer));
    SysFreeString(answer);
    return result;
}

// GetObject([pathname][, class]): with an empty path and a class, a new
// object of the class. This system keeps no running objects and binds no
// files to objects, so anything else cannot make an object.
Value fnGetObject(Interpreter&, Value* a, int argc) {
    const bool hasPath = given(a, argc, 0) && !a[0].isEmpty();
    const std::u16string path = hasPath ? textArg(a, argc, 0, u"", u"GetObject") : std::u16string();
    const std::u16string progId = textArg(a, argc, 1, u"", u"GetObject");
    if (hasPath && path.empty() && !progId.empty()) {
        qrt::ComPtr<IDispatch> object;
        if (SUCCEEDED(qrt::createObject(progId, object)) && object) return Value::attachObject(object.detach());
    }
    raise(err::CantCreateObject, u"GetObject");
}

// LoadPicture(path): no picture objects exist in this system; a missing
// file is error 53, any other file error 481.
Value fnLoadPicture(Interpreter&, Value* a, int argc) {
    const std::u16string path = textArg(a, argc, 0, u"", u"LoadPicture");
    std::error_code error;
    if (path.empty() || !std::filesystem::is_regular_file(std::filesystem::path(qrt::encodeUtf8(path)), error))
        raiseText(53, u"File not found: 'LoadPicture'");
    raiseText(481, u"Invalid picture: 'LoadPicture'");
}

const Builtin kHost[] = {
    {u"MsgBox", fnMsgBox, 1, 5},
    {u"InputBox", fnInputBox, 1, 7},
    {u"GetObject", fnGetObject, 0, 2},
    {u"LoadPicture", fnLoadPicture, 0, 1},
};

}  // namespace

std::span<const Builtin> hostBuiltins() { return kHost; }

}  // namespace vbs
