// Type information: enough to describe a class or an interface to a script
// engine or a host — its functions with name, identifier, invoke kind and
// parameter types, and for a class its interfaces (default and source).
#pragma once

#include "runtime/dispatch.h"

#include <string>
#include <vector>

enum TYPEKIND { TKIND_ENUM, TKIND_RECORD, TKIND_MODULE, TKIND_INTERFACE, TKIND_DISPATCH, TKIND_COCLASS, TKIND_ALIAS, TKIND_UNION };
enum INVOKEKIND { INVOKE_FUNC = 1, INVOKE_PROPERTYGET = 2, INVOKE_PROPERTYPUT = 4, INVOKE_PROPERTYPUTREF = 8 };
enum FUNCKIND { FUNC_VIRTUAL, FUNC_PUREVIRTUAL, FUNC_NONVIRTUAL, FUNC_STATIC, FUNC_DISPATCH };

constexpr USHORT PARAMFLAG_NONE = 0;
constexpr USHORT PARAMFLAG_FIN = 0x1;
constexpr USHORT PARAMFLAG_FOUT = 0x2;
constexpr USHORT PARAMFLAG_FLCID = 0x4;
constexpr USHORT PARAMFLAG_FRETVAL = 0x8;
constexpr USHORT PARAMFLAG_FOPT = 0x10;
constexpr USHORT PARAMFLAG_FHASDEFAULT = 0x20;

constexpr INT IMPLTYPEFLAG_FDEFAULT = 0x1;
constexpr INT IMPLTYPEFLAG_FSOURCE = 0x2;

constexpr WORD TYPEFLAG_FDUAL = 0x40;
constexpr WORD TYPEFLAG_FDISPATCHABLE = 0x1000;
constexpr WORD TYPEFLAG_FCONTROL = 0x20;

using HREFTYPE = DWORD;

// Simplified type description: the variant type, with VT_BYREF for a pointer
// to it (by-reference and out parameters).
struct TYPEDESC {
    VARTYPE vt;
};

struct ELEMDESC {
    TYPEDESC tdesc;
    USHORT wParamFlags;
};

struct FUNCDESC {
    MEMBERID memid;
    FUNCKIND funckind;
    INVOKEKIND invkind;
    SHORT cParams;      // parameters, not counting a retval
    SHORT cParamsOpt;   // how many of the last ones are optional
    SHORT oVft;         // vtable slot (0 for dispatch-only members)
    ELEMDESC elemdescFunc;          // return type: VT_VOID when none
    ELEMDESC* lprgelemdescParam;    // cParams entries
    WORD wFuncFlags;
};

struct TYPEATTR {
    GUID guid;
    LCID lcid;
    TYPEKIND typekind;
    WORD cFuncs;
    WORD cVars;
    WORD cImplTypes;
    WORD wTypeFlags;
    WORD wMajorVerNum;
    WORD wMinorVerNum;
};

struct ITypeInfo : IUnknown {
    static constexpr ::IID IID = qrt::makeGuid("{00020401-0000-0000-C000-000000000046}");
    using Base = IUnknown;
    virtual HRESULT GetTypeAttr(TYPEATTR** attr) = 0;
    virtual void ReleaseTypeAttr(TYPEATTR* attr) = 0;
    virtual HRESULT GetFuncDesc(UINT index, FUNCDESC** desc) = 0;
    virtual void ReleaseFuncDesc(FUNCDESC* desc) = 0;
    // names[0] is the member name, then the parameter names.
    virtual HRESULT GetNames(MEMBERID id, BSTR* names, UINT maxNames, UINT* count) = 0;
    virtual HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* ref) = 0;
    virtual HRESULT GetImplTypeFlags(UINT index, INT* flags) = 0;
    virtual HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) = 0;
    virtual HRESULT Invoke(void* instance, MEMBERID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                           EXCEPINFO* excep, UINT* argErr) = 0;
    // MEMBERID_NIL (-1) documents the type itself.
    virtual HRESULT GetDocumentation(MEMBERID id, BSTR* name, BSTR* doc, DWORD* helpContext, BSTR* helpFile) = 0;
    virtual HRESULT GetRefTypeInfo(HREFTYPE ref, ITypeInfo** info) = 0;

protected:
    ~ITypeInfo() = default;
};

constexpr MEMBERID MEMBERID_NIL = -1;

struct IProvideClassInfo : IUnknown {
    static constexpr ::IID IID = qrt::makeGuid("{B196B283-BAB4-101A-B69C-00AA00341D07}");
    using Base = IUnknown;
    virtual HRESULT GetClassInfo(ITypeInfo** info) = 0;

protected:
    ~IProvideClassInfo() = default;
};

constexpr DWORD GUIDKIND_DEFAULT_SOURCE_DISP_IID = 1;

struct IProvideClassInfo2 : IProvideClassInfo {
    static constexpr ::IID IID = qrt::makeGuid("{A6BC3AC0-DBAA-11CE-9DE3-00AA004BB851}");
    using Base = IProvideClassInfo;
    virtual HRESULT GetGUID(DWORD kind, GUID* guid) = 0;

protected:
    ~IProvideClassInfo2() = default;
};

namespace qrt {

// A plain description from which createTypeInfo builds an ITypeInfo.
struct ParamDesc {
    std::u16string name;
    VARTYPE vt = VT_VARIANT;  // may carry VT_BYREF
    USHORT flags = PARAMFLAG_FIN;
};

struct FuncDesc {
    std::u16string name;
    MEMBERID id = 0;
    INVOKEKIND kind = INVOKE_FUNC;
    std::vector<ParamDesc> params;  // without the retval
    VARTYPE returnType = VT_VOID;   // the retval's type, or VT_VOID
    SHORT optionalCount = 0;
    SHORT slot = 0;
    std::u16string doc;
};

struct ImplTypeDesc {
    ComPtr<ITypeInfo> info;
    INT flags = 0;
};

struct TypeDesc {
    std::u16string name;
    std::u16string doc;
    GUID guid{};
    TYPEKIND kind = TKIND_DISPATCH;
    WORD flags = 0;
    std::vector<FuncDesc> funcs;
    std::vector<ImplTypeDesc> implTypes;  // for a coclass
};

// Invoke of a type info built here: called with the instance passed to
// ITypeInfo::Invoke. Without one, ITypeInfo::Invoke answers E_NOTIMPL.
using TypeInvoker = HRESULT (*)(const void* context, void* instance, MEMBERID id, WORD flags, DISPPARAMS* params,
                                VARIANT* result, EXCEPINFO* excep, UINT* argErr);

ComPtr<ITypeInfo> createTypeInfo(TypeDesc desc, TypeInvoker invoker = nullptr, const void* invokerContext = nullptr);

// The type information of a class (coclass): its default interface and,
// when it raises events, its default source interface. Hands out a new
// reference in *out.
HRESULT classTypeInfo(std::u16string_view name, const CLSID& clsid, ITypeInfo* defaultInterface,
                      ITypeInfo* sourceInterface, ITypeInfo** out);

}  // namespace qrt
