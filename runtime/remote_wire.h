// The wire format of calls between processes: messages of little-endian
// fields, and the automation values (VARIANTs, safe arrays, objects) inside
// them. The reader checks every length against what is left, so a damaged
// or hostile message is a failure, never a read past its end.
//
// A message on the socket is a 32-bit body length, then the body:
//   u8 kind, u32 call number, then the fields of that kind (remote.cpp).
// A value is u16 type, then by type: nothing (Empty, Null); the number's
// bytes; a string as u32 length in UTF-16 units (0xFFFFFFFF: a null BSTR)
// and the units; an object as u8 side and u64 number (ObjectRef); an array
// as u8 present, u16 dimensions, per dimension u32 count and i32 lower
// bound, then its elements in storage order.
#pragma once

#include "runtime/dispatch.h"
#include "runtime/guid.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace qrt::remote {

// Largest body accepted; larger lengths close the connection.
constexpr std::uint32_t kMaxMessageBytes = 256u << 20;
// Nesting of arrays of variants holding arrays.
constexpr int kMaxValueDepth = 16;

enum class MessageKind : std::uint8_t {
    CreateInstance = 1,  // class id, interface id -> status, object
    GetIDsOfNames = 2,   // object, locale, names -> status, identifiers
    Invoke = 3,          // object, member, locale, flags, arguments -> status, result, error, out arguments
    Release = 4,         // object, count (no answer)
    Reply = 5,           // answers the call with the same number
};

// An object in a message: which side's table its number belongs to.
struct ObjectRef {
    enum Side : std::uint8_t { Null = 0, Sender = 1, Receiver = 2 };
    Side side = Null;
    std::uint64_t id = 0;
};

class Writer {
public:
    void u8(std::uint8_t v) { m_data.push_back(static_cast<char>(v)); }
    void u16(std::uint16_t v) { put(&v, sizeof v); }
    void u32(std::uint32_t v) { put(&v, sizeof v); }
    void u64(std::uint64_t v) { put(&v, sizeof v); }
    void i32(std::int32_t v) { put(&v, sizeof v); }
    void f64(double v) { put(&v, sizeof v); }
    void guid(const GUID& g);
    void string(BSTR s);  // keeps null apart from empty
    void string(std::u16string_view s);
    void object(const ObjectRef& ref);
    void put(const void* bytes, std::size_t n) { m_data.append(static_cast<const char*>(bytes), n); }
    std::size_t size() const { return m_data.size(); }
    std::string& data() { return m_data; }

private:
    std::string m_data;
};

class Reader {
public:
    Reader(const char* data, std::size_t size) : m_p(data), m_end(data + size) {}
    explicit Reader(std::string_view bytes) : Reader(bytes.data(), bytes.size()) {}
    bool u8(std::uint8_t& v) { return get(&v, sizeof v); }
    bool u16(std::uint16_t& v) { return get(&v, sizeof v); }
    bool u32(std::uint32_t& v) { return get(&v, sizeof v); }
    bool u64(std::uint64_t& v) { return get(&v, sizeof v); }
    bool i32(std::int32_t& v) { return get(&v, sizeof v); }
    bool f64(double& v) { return get(&v, sizeof v); }
    bool guid(GUID& g);
    // A string as a new BSTR (null for a null string); false when damaged.
    bool string(BSTR& out);
    bool object(ObjectRef& ref);
    bool get(void* out, std::size_t n);
    // Pointer to n bytes, consumed; null when fewer are left.
    const char* take(std::size_t n);
    std::size_t left() const { return static_cast<std::size_t>(m_end - m_p); }
    bool atEnd() const { return m_p == m_end; }

private:
    const char* m_p;
    const char* m_end;
};

// Turns objects into references and back; the connection implements it.
class ObjectMarshaler {
public:
    // A reference to send for object (not null). Fails for objects that
    // cannot cross (no IDispatch).
    virtual HRESULT marshal(IUnknown* object, ObjectRef& ref) = 0;
    // The object a received reference stands for, with a reference added.
    virtual HRESULT unmarshal(const ObjectRef& ref, IDispatch** out) = 0;

protected:
    ~ObjectMarshaler() = default;
};

// Writes a value (VT_BYREF followed one level). Types that cannot cross:
// DISP_E_BADVARTYPE, with the writer left part-written.
HRESULT writeVariant(Writer& w, const VARIANT& v, ObjectMarshaler& objects);
// Reads a value into out (initialised by the caller, owned by it after).
// A damaged message: RPC_E_INVALID_DATAPACKET; out is left empty.
HRESULT readVariant(Reader& r, VARIANT& out, ObjectMarshaler& objects);

// True for the types writeVariant carries (without VT_BYREF).
bool isWireType(VARTYPE vt);

}  // namespace qrt::remote
