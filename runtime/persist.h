// Persistence of objects into streams and storages, and the serialized form
// of variants that property maps write.
#pragma once

#include "runtime/storage.h"
#include "runtime/variant.h"

struct IPersist : IUnknown {
    static constexpr ::IID IID = qrt::makeGuid("{0000010C-0000-0000-C000-000000000046}");
    using Base = IUnknown;
    virtual HRESULT GetClassID(CLSID* clsid) = 0;

protected:
    ~IPersist() = default;
};

struct IPersistStream : IPersist {
    static constexpr ::IID IID = qrt::makeGuid("{00000109-0000-0000-C000-000000000046}");
    using Base = IPersist;
    virtual HRESULT IsDirty() = 0;
    virtual HRESULT Load(IStream* stream) = 0;
    virtual HRESULT Save(IStream* stream, BOOL clearDirty) = 0;
    virtual HRESULT GetSizeMax(ULARGE_INTEGER* size) = 0;

protected:
    ~IPersistStream() = default;
};

struct IPersistStreamInit : IPersist {
    static constexpr ::IID IID = qrt::makeGuid("{7FD52380-4E07-101B-AE2D-08002B2EC713}");
    using Base = IPersist;
    virtual HRESULT IsDirty() = 0;
    virtual HRESULT Load(IStream* stream) = 0;
    virtual HRESULT Save(IStream* stream, BOOL clearDirty) = 0;
    virtual HRESULT GetSizeMax(ULARGE_INTEGER* size) = 0;
    virtual HRESULT InitNew() = 0;

protected:
    ~IPersistStreamInit() = default;
};

struct IPersistStorage : IPersist {
    static constexpr ::IID IID = qrt::makeGuid("{0000010A-0000-0000-C000-000000000046}");
    using Base = IPersist;
    virtual HRESULT IsDirty() = 0;
    virtual HRESULT InitNew(IStorage* storage) = 0;
    virtual HRESULT Load(IStorage* storage) = 0;
    virtual HRESULT Save(IStorage* storage, BOOL sameAsLoad) = 0;
    virtual HRESULT SaveCompleted(IStorage* storage) = 0;
    virtual HRESULT HandsOffStorage() = 0;

protected:
    ~IPersistStorage() = default;
};

namespace qrt {

// A variant in its serialized form: the 16-bit type tag, then the value
// (little-endian numbers; a string as its 32-bit byte length and UTF-16
// units; an object as its class identifier followed by its own persisted
// data, or a null class identifier for no object). Numbers, Booleans,
// dates, currency, strings and objects that persist through IPersistStream
// (or IPersistStreamInit) are supported; other types give DISP_E_BADVARTYPE.
HRESULT writeVariant(IStream* stream, const VARIANT& value);
HRESULT readVariant(IStream* stream, VARIANT* value);

// Reads or writes exactly size bytes; a short transfer is STG_E_READFAULT /
// STG_E_WRITEFAULT.
HRESULT readExactly(IStream* stream, void* data, ULONG size);
HRESULT writeExactly(IStream* stream, const void* data, ULONG size);

}  // namespace qrt
