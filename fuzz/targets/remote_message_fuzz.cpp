// Messages from another process: fuzzed bytes are served as a client's
// messages to a connection holding one object, and read as a value; a
// value that reads must write and read back to the same bytes.
#include "fuzz/fuzz_support.h"
#include "runtime/remote.h"
#include "runtime/remote_wire.h"
#include "runtime/testing/remote_probe.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// Objects of a value as numbers in a table: an object keeps its number,
// whichever side a reference named, so that writing is canonical.
class Table final : public qrt::remote::ObjectMarshaler {
public:
    HRESULT marshal(IUnknown* object, qrt::remote::ObjectRef& ref) override {
        qrt::ComPtr<IDispatch> d;
        if (FAILED(object->QueryInterface(IID_IDispatch, d.outVoid()))) return DISP_E_BADVARTYPE;
        std::size_t i = 0;
        while (i < objects.size() && !(objects[i] == d)) ++i;
        if (i == objects.size()) objects.push_back(d);
        ref = {qrt::remote::ObjectRef::Sender, i + 1};
        return S_OK;
    }
    HRESULT unmarshal(const qrt::remote::ObjectRef& ref, IDispatch** out) override {
        if (ref.id == 0 || ref.id > 4) return RPC_E_INVALID_DATAPACKET;
        while (objects.size() < ref.id) objects.push_back(qrt::create<qtest::Probe>());
        return objects[ref.id - 1].copyTo(out);
    }
    std::vector<qrt::ComPtr<IDispatch>> objects;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 1 << 16) return -1;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    {
        qrt::ComPtr<qtest::Probe> probe = qrt::create<qtest::Probe>();
        qrt::remote::serveBytesForTesting(bytes, probe.get());
        if (qrt::remote::servedObjectCount() != 0) {
            std::fprintf(stderr, "a closed connection still holds objects\n");
            std::abort();
        }
    }

    Table table;
    qrt::remote::Reader reader(bytes);
    qrt::Variant value;
    if (FAILED(qrt::remote::readVariant(reader, value, table))) return 0;
    // The first writing makes every reference the sender's; from then on
    // writing and reading change nothing.
    qrt::remote::Writer first;
    if (FAILED(qrt::remote::writeVariant(first, value, table))) std::abort();
    qrt::remote::Reader again(first.data());
    qrt::Variant back;
    if (FAILED(qrt::remote::readVariant(again, back, table)) || !again.atEnd()) std::abort();
    qrt::remote::Writer second;
    if (FAILED(qrt::remote::writeVariant(second, back, table)) || second.data() != first.data()) {
        std::fprintf(stderr, "a value reads back different\n");
        std::abort();
    }
    return 0;
}
