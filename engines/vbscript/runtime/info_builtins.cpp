// Type information and objects: IsArray, IsEmpty, IsNull, IsNumeric,
// IsObject, TypeName, VarType, RGB, Timer, CreateObject.
#include "engines/vbscript/coerce.h"
#include "engines/vbscript/errors.h"
#include "engines/vbscript/interpreter.h"
#include "engines/vbscript/runtime/builtins.h"
#include "runtime/activation.h"
#include "runtime/typeinfo.h"

#include <chrono>
#include <ctime>

namespace vbs {

namespace {

Value fnIsArray(Interpreter&, Value* a, int) { return Value::boolean(a[0].isArray()); }
Value fnIsEmpty(Interpreter&, Value* a, int) { return Value::boolean(a[0].isEmpty()); }
Value fnIsNull(Interpreter&, Value* a, int) { return Value::boolean(a[0].isNull()); }
Value fnIsObject(Interpreter&, Value* a, int) { return Value::boolean(a[0].isObject()); }

Value fnIsNumeric(Interpreter& in, Value* a, int) {
    const Value& v = a[0];
    switch (v.tag()) {
    case Tag::Empty:
    case Tag::Boolean:
    case Tag::Byte:
    case Tag::Integer:
    case Tag::Long:
    case Tag::Single:
    case Tag::Double:
    case Tag::Currency: return Value::boolean(true);
    case Tag::String: {
        double d;
        try {
            return Value::boolean(parseNumber(v.str(), d));
        } catch (const ScriptError&) {
            return Value::boolean(true);  // a number too large for a Double is still a number
        }
    }
    case Tag::Object: {
        // An object is as numeric as its default property.
        Value inner;
        try {
            inner = defaultValue(v.obj());
        } catch (const ScriptError&) {
            return Value::boolean(false);
        }
        return fnIsNumeric(in, &inner, 1);
    }
    default: return Value::boolean(false);
    }
}

std::u16string typeName(ITypeInfo* info) {
    BSTR name = nullptr;
    std::u16string out;
    if (info && SUCCEEDED(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr)) && name) {
        out = qrt::bstrView(name);
    }
    SysFreeString(name);
    return out;
}

// The object's class name: from its class information, else from its
// interface's name without the leading I ("ISeries": "Series"), else "Object".
std::u16string className(IDispatch* d) {
    qrt::ComPtr<IProvideClassInfo> provider;
    if (SUCCEEDED(d->QueryInterface(IProvideClassInfo::IID, provider.outVoid())) && provider) {
        qrt::ComPtr<ITypeInfo> info;
        if (SUCCEEDED(provider->GetClassInfo(info.out()))) {
            std::u16string name = typeName(info.get());
            if (!name.empty()) return name;
        }
    }
    qrt::ComPtr<ITypeInfo> info;
    if (FAILED(d->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.out())) || !info) return u"Object";
    std::u16string name = typeName(info.get());
    if (name.size() > 1 && name[0] == u'I') name.erase(0, 1);
    return name.empty() ? u"Object" : name;
}

Value fnTypeName(Interpreter&, Value* a, int) {
    const Value& v = a[0];
    const char16_t* name = u"Unknown";
    switch (v.tag()) {
    case Tag::Empty: name = u"Empty"; break;
    case Tag::Null: name = u"Null"; break;
    case Tag::Boolean: name = u"Boolean"; break;
    case Tag::Byte: name = u"Byte"; break;
    case Tag::Integer: name = u"Integer"; break;
    case Tag::Long: name = u"Long"; break;
    case Tag::Single: name = u"Single"; break;
    case Tag::Double: name = u"Double"; break;
    case Tag::Currency: name = u"Currency"; break;
    case Tag::Date: name = u"Date"; break;
    case Tag::String: name = u"String"; break;
    case Tag::Error: name = u"Error"; break;
    case Tag::Array: name = u"Variant()"; break;
    case Tag::Object:
        if (!v.obj()) name = u"Nothing";
        else return Value::string(className(v.obj()));
        break;
    default: break;
    }
    return Value::string(std::u16string_view(name));
}

Value fnVarType(Interpreter&, Value* a, int) {
    const Value& v = a[0];
    VARTYPE vt = VT_EMPTY;
    switch (v.tag()) {
    case Tag::Empty: vt = VT_EMPTY; break;
    case Tag::Null: vt = VT_NULL; break;
    case Tag::Boolean: vt = VT_BOOL; break;
    case Tag::Byte: vt = VT_UI1; break;
    case Tag::Integer: vt = VT_I2; break;
    case Tag::Long: vt = VT_I4; break;
    case Tag::Single: vt = VT_R4; break;
    case Tag::Double: vt = VT_R8; break;
    case Tag::Currency: vt = VT_CY; break;
    case Tag::Date: vt = VT_DATE; break;
    case Tag::String: vt = VT_BSTR; break;
    case Tag::Object: vt = VT_DISPATCH; break;
    case Tag::Error: vt = VT_ERROR; break;
    case Tag::Array: vt = VT_ARRAY | VT_VARIANT; break;
    default: break;
    }
    return Value::integer(static_cast<std::int16_t>(vt));
}

Value fnRGB(Interpreter&, Value* a, int) {
    std::int32_t c[3];
    for (int i = 0; i < 3; ++i) {
        c[i] = toLong(a[i]);
        if (c[i] < 0) raise(err::InvalidCall);
        if (c[i] > 255) c[i] = 255;
    }
    return Value::longInt(c[0] | (c[1] << 8) | (c[2] << 16));
}

Value fnTimer(Interpreter&, Value*, int) {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    const double fraction = static_cast<double>(duration_cast<microseconds>(now.time_since_epoch()).count() % 1000000) / 1e6;
    const double seconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + fraction;
    return Value::single(static_cast<float>(seconds));
}

Value fnCreateObject(Interpreter&, Value* a, int) {
    std::u16string progId = toString(a[0]);
    qrt::ComPtr<IDispatch> object;
    HRESULT hr = qrt::createObject(progId, object);
    if (FAILED(hr) || !object) raise(err::CantCreateObject, progId);
    return Value::attachObject(object.detach());
}

const Builtin kInfo[] = {
    {u"IsArray", fnIsArray, 1, 1},   {u"IsEmpty", fnIsEmpty, 1, 1},   {u"IsNull", fnIsNull, 1, 1},
    {u"IsNumeric", fnIsNumeric, 1, 1}, {u"IsObject", fnIsObject, 1, 1}, {u"TypeName", fnTypeName, 1, 1},
    {u"VarType", fnVarType, 1, 1},   {u"RGB", fnRGB, 3, 3},           {u"Timer", fnTimer, 0, 0},
    {u"CreateObject", fnCreateObject, 1, 2},
};

}  // namespace

std::span<const Builtin> infoBuiltins() { return kInfo; }

}  // namespace vbs
