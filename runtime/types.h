// Basic scalar types and status codes of the component layer.
//
// The names and numeric values are those the product's interfaces are written
// in, so code that speaks to components reads the same on every platform.
#pragma once

#include <cstdint>

using HRESULT = std::int32_t;
using SCODE = std::int32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using INT = std::int32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using BOOL = std::int32_t;
using DISPID = std::int32_t;
using MEMBERID = DISPID;
using LCID = std::uint32_t;
using OLECHAR = char16_t;
using WCHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using BSTR = OLECHAR*;
using DATE = double;
using OLE_COLOR = std::uint32_t;
using VARTYPE = std::uint16_t;

// VARIANT_BOOL is its own type (not a plain short) so that table-driven
// dispatch can tell a Boolean parameter from a 16-bit integer one.
enum VARIANT_BOOL : std::int16_t { VARIANT_FALSE = 0, VARIANT_TRUE = -1 };

inline VARIANT_BOOL toVariantBool(bool b) { return b ? VARIANT_TRUE : VARIANT_FALSE; }

// Currency: a 64-bit integer scaled by 10000.
struct CY {
    std::int64_t int64;
};

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

constexpr HRESULT makeHresult(std::uint32_t v) { return static_cast<HRESULT>(v); }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = makeHresult(0x80004001);
constexpr HRESULT E_NOINTERFACE = makeHresult(0x80004002);
constexpr HRESULT E_POINTER = makeHresult(0x80004003);
constexpr HRESULT E_ABORT = makeHresult(0x80004004);
constexpr HRESULT E_FAIL = makeHresult(0x80004005);
constexpr HRESULT E_UNEXPECTED = makeHresult(0x8000FFFF);
constexpr HRESULT E_ACCESSDENIED = makeHresult(0x80070005);
constexpr HRESULT E_HANDLE = makeHresult(0x80070006);
constexpr HRESULT E_OUTOFMEMORY = makeHresult(0x8007000E);
constexpr HRESULT E_INVALIDARG = makeHresult(0x80070057);

constexpr HRESULT CLASS_E_NOAGGREGATION = makeHresult(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = makeHresult(0x80040111);
constexpr HRESULT REGDB_E_READREGDB = makeHresult(0x80040150);
constexpr HRESULT REGDB_E_WRITEREGDB = makeHresult(0x80040151);
constexpr HRESULT REGDB_E_KEYMISSING = makeHresult(0x80040152);
constexpr HRESULT REGDB_E_INVALIDVALUE = makeHresult(0x80040153);
constexpr HRESULT REGDB_E_CLASSNOTREG = makeHresult(0x80040154);
constexpr HRESULT CO_E_NOTINITIALIZED = makeHresult(0x800401F0);
constexpr HRESULT CO_E_CLASSSTRING = makeHresult(0x800401F3);
constexpr HRESULT CO_E_APPNOTFOUND = makeHresult(0x800401F5);
constexpr HRESULT CO_E_DLLNOTFOUND = makeHresult(0x800401F8);
constexpr HRESULT CO_E_ERRORINDLL = makeHresult(0x800401F9);
constexpr HRESULT CO_E_OBJNOTREG = makeHresult(0x800401FB);
// Calls between processes.
constexpr HRESULT CO_E_OBJISREG = makeHresult(0x800401FC);
constexpr HRESULT CO_E_SERVER_EXEC_FAILURE = makeHresult(0x80080005);
constexpr HRESULT RPC_E_SERVER_DIED = makeHresult(0x80010007);
constexpr HRESULT RPC_E_INVALID_DATAPACKET = makeHresult(0x80010009);
constexpr HRESULT RPC_E_DISCONNECTED = makeHresult(0x80010108);
constexpr HRESULT RPC_E_WRONG_THREAD = makeHresult(0x8001010E);
constexpr HRESULT CONNECT_E_NOCONNECTION = makeHresult(0x80040200);
constexpr HRESULT CONNECT_E_ADVISELIMIT = makeHresult(0x80040201);
constexpr HRESULT CONNECT_E_CANNOTCONNECT = makeHresult(0x80040202);
constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = makeHresult(0x8002802B);
constexpr HRESULT TYPE_E_LIBNOTREGISTERED = makeHresult(0x8002801D);
constexpr HRESULT TYPE_E_CANTLOADLIBRARY = makeHresult(0x80029C4A);
constexpr HRESULT SELFREG_E_TYPELIB = makeHresult(0x80040200);
constexpr HRESULT SELFREG_E_CLASS = makeHresult(0x80040201);

constexpr HRESULT DISP_E_UNKNOWNINTERFACE = makeHresult(0x80020001);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = makeHresult(0x80020003);
constexpr HRESULT DISP_E_PARAMNOTFOUND = makeHresult(0x80020004);
constexpr HRESULT DISP_E_TYPEMISMATCH = makeHresult(0x80020005);
constexpr HRESULT DISP_E_UNKNOWNNAME = makeHresult(0x80020006);
constexpr HRESULT DISP_E_NONAMEDARGS = makeHresult(0x80020007);
constexpr HRESULT DISP_E_BADVARTYPE = makeHresult(0x80020008);
constexpr HRESULT DISP_E_EXCEPTION = makeHresult(0x80020009);
constexpr HRESULT DISP_E_OVERFLOW = makeHresult(0x8002000A);
constexpr HRESULT DISP_E_BADINDEX = makeHresult(0x8002000B);
constexpr HRESULT DISP_E_ARRAYISLOCKED = makeHresult(0x8002000D);
constexpr HRESULT DISP_E_BADPARAMCOUNT = makeHresult(0x8002000E);
constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = makeHresult(0x8002000F);
constexpr HRESULT DISP_E_DIVBYZERO = makeHresult(0x80020012);

constexpr HRESULT STG_E_INVALIDFUNCTION = makeHresult(0x80030001);
constexpr HRESULT STG_E_FILENOTFOUND = makeHresult(0x80030002);
constexpr HRESULT STG_E_PATHNOTFOUND = makeHresult(0x80030003);
constexpr HRESULT STG_E_TOOMANYOPENFILES = makeHresult(0x80030004);
constexpr HRESULT STG_E_ACCESSDENIED = makeHresult(0x80030005);
constexpr HRESULT STG_E_INVALIDHANDLE = makeHresult(0x80030006);
constexpr HRESULT STG_E_INSUFFICIENTMEMORY = makeHresult(0x80030008);
constexpr HRESULT STG_E_INVALIDPOINTER = makeHresult(0x80030009);
constexpr HRESULT STG_E_NOMOREFILES = makeHresult(0x80030012);
constexpr HRESULT STG_E_WRITEFAULT = makeHresult(0x8003001D);
constexpr HRESULT STG_E_READFAULT = makeHresult(0x8003001E);
constexpr HRESULT STG_E_SHAREVIOLATION = makeHresult(0x80030020);
constexpr HRESULT STG_E_LOCKVIOLATION = makeHresult(0x80030021);
constexpr HRESULT STG_E_FILEALREADYEXISTS = makeHresult(0x80030050);
constexpr HRESULT STG_E_INVALIDPARAMETER = makeHresult(0x80030057);
constexpr HRESULT STG_E_MEDIUMFULL = makeHresult(0x80030070);
constexpr HRESULT STG_E_INVALIDHEADER = makeHresult(0x800300FB);
constexpr HRESULT STG_E_INVALIDNAME = makeHresult(0x800300FC);
constexpr HRESULT STG_E_UNKNOWN = makeHresult(0x800300FD);
constexpr HRESULT STG_E_INVALIDFLAG = makeHresult(0x800300FF);
constexpr HRESULT STG_E_REVERTED = makeHresult(0x80030102);
constexpr HRESULT STG_E_CANTSAVE = makeHresult(0x80030103);

constexpr HRESULT FACILITY_WIN32_BASE = makeHresult(0x80070000);

// A status made from a system error number (errno): facility 7 with the
// error number in the low word, as the platform builds one from a system
// error. Zero stays S_OK.
constexpr HRESULT HRESULT_FROM_ERRNO(int err) {
    return err == 0 ? S_OK : makeHresult(0x80070000u | (static_cast<std::uint32_t>(err) & 0xFFFFu));
}
constexpr int HRESULT_FACILITY(HRESULT hr) { return (static_cast<std::uint32_t>(hr) >> 16) & 0x1FFF; }
constexpr int HRESULT_CODE(HRESULT hr) { return static_cast<std::uint32_t>(hr) & 0xFFFF; }
