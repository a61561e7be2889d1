// Per-thread error descriptions and status texts.
#include "runtime/dispatch.h"

namespace qrt {

namespace {
struct ErrorInfo {
    bool set = false;
    std::u16string source;
    std::u16string description;
};
thread_local ErrorInfo t_error;
// Whether t_error holds something: a plain flag that every component call
// checks, kept apart so that the check needs no thread-local initialisation.
// The runtime is loaded with the program, so the initial-exec model is safe.
__attribute__((tls_model("initial-exec"))) constinit thread_local bool t_errorSet = false;
}  // namespace

void setErrorInfo(std::u16string_view source, std::u16string_view description) {
    t_errorSet = true;
    t_error.set = true;
    t_error.source.assign(source);
    t_error.description.assign(description);
}

void clearErrorInfo() {
    if (!t_errorSet) return;
    t_errorSet = false;
    t_error = ErrorInfo{};
}

bool takeErrorInfo(std::u16string& source, std::u16string& description) {
    if (!t_errorSet) return false;
    t_errorSet = false;
    source = std::move(t_error.source);
    description = std::move(t_error.description);
    t_error = ErrorInfo{};
    return true;
}

std::u16string statusText(HRESULT hr) {
    switch (hr) {
    case S_OK: return u"The operation completed successfully";
    case E_NOTIMPL: return u"Not implemented";
    case E_NOINTERFACE: return u"No such interface supported";
    case E_POINTER: return u"Invalid pointer";
    case E_ABORT: return u"Operation aborted";
    case E_FAIL: return u"Unspecified error";
    case E_UNEXPECTED: return u"Catastrophic failure";
    case E_ACCESSDENIED: return u"Access is denied";
    case E_OUTOFMEMORY: return u"Out of memory";
    case E_INVALIDARG: return u"Invalid argument";
    case CLASS_E_NOAGGREGATION: return u"Class does not support aggregation";
    case CLASS_E_CLASSNOTAVAILABLE: return u"Class not available in this library";
    case REGDB_E_CLASSNOTREG: return u"Class not registered";
    case CO_E_CLASSSTRING: return u"Invalid class string";
    case CO_E_DLLNOTFOUND: return u"Library of the class not found";
    case CO_E_ERRORINDLL: return u"Library of the class lacks its entry points";
    case CO_E_OBJISREG: return u"The class is already served by another process";
    case CO_E_SERVER_EXEC_FAILURE: return u"The server of the class could not be started";
    case RPC_E_SERVER_DIED: return u"The server is gone: its process ended during the call";
    case RPC_E_INVALID_DATAPACKET: return u"A damaged message came from the other process";
    case RPC_E_DISCONNECTED: return u"The server is gone: the object's process has ended";
    case RPC_E_WRONG_THREAD: return u"The object belongs to another thread";
    case TYPE_E_ELEMENTNOTFOUND: return u"Element not found";
    case DISP_E_UNKNOWNINTERFACE: return u"Unknown interface";
    case DISP_E_MEMBERNOTFOUND: return u"Member not found";
    case DISP_E_PARAMNOTFOUND: return u"Parameter not found";
    case DISP_E_TYPEMISMATCH: return u"Type mismatch";
    case DISP_E_UNKNOWNNAME: return u"Unknown name";
    case DISP_E_NONAMEDARGS: return u"No named arguments";
    case DISP_E_BADVARTYPE: return u"Bad variable type";
    case DISP_E_EXCEPTION: return u"Exception occurred";
    case DISP_E_OVERFLOW: return u"Overflow";
    case DISP_E_BADINDEX: return u"Invalid index";
    case DISP_E_ARRAYISLOCKED: return u"Memory is locked";
    case DISP_E_BADPARAMCOUNT: return u"Invalid number of parameters";
    case DISP_E_PARAMNOTOPTIONAL: return u"Parameter not optional";
    case DISP_E_DIVBYZERO: return u"Division by zero";
    case STG_E_FILENOTFOUND: return u"File not found";
    case STG_E_ACCESSDENIED: return u"Access denied";
    case STG_E_SHAREVIOLATION: return u"Sharing violation";
    case STG_E_FILEALREADYEXISTS: return u"File already exists";
    case STG_E_INVALIDNAME: return u"Invalid name";
    default: return {};
    }
}

void clearExcepInfo(EXCEPINFO* info) {
    if (!info) return;
    SysFreeString(info->bstrSource);
    SysFreeString(info->bstrDescription);
    SysFreeString(info->bstrHelpFile);
    *info = EXCEPINFO{};
}

}  // namespace qrt
