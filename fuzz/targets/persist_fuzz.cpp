// Persisted streams: fuzzed bytes read as a sequence of serialized variants,
// and loaded as the graph control's persisted properties through
// IPersistStreamInit (the control made by ProgID from its registered
// library, as a host loads it); a loaded control must save again.
#include "fuzz/fuzz_support.h"
#include "runtime/activation.h"
#include "runtime/dispatch.h"
#include "runtime/object.h"
#include "runtime/persist.h"
#include "runtime/storage.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

qrt::ComPtr<IStream> streamOf(const std::uint8_t* data, std::size_t size) {
    qrt::ComPtr<IStream> stream;
    if (FAILED(qrt::createMemoryStream(data, size, stream.out()))) std::abort();
    return stream;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qfuzz::ensureQtApplication();
    if (!qfuzz::registerLibrary("Tarvik")) {
        std::fprintf(stderr, "cannot register libTarvik.so\n");
        std::abort();
    }
    // Loads the library before the first input, so its coverage counts.
    qrt::ComPtr<IDispatch> graf;
    qrt::createObject(u"Tarvik.ViGraf", graf);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 64 * 1024) return -1;
    {
        auto stream = streamOf(data, size);
        for (int i = 0; i < 64; ++i) {
            qrt::Variant value;
            if (FAILED(qrt::readVariant(stream.get(), &value))) break;
            // What was read writes again.
            auto out = streamOf(nullptr, 0);
            qrt::writeVariant(out.get(), value);
        }
    }

    qrt::ComPtr<IDispatch> graf;
    if (FAILED(qrt::createObject(u"Tarvik.ViGraf", graf))) std::abort();
    auto persist = graf.as<IPersistStreamInit>();
    if (!persist) std::abort();
    persist->InitNew();
    auto stream = streamOf(data, size);
    if (SUCCEEDED(persist->Load(stream.get()))) {
        auto saved = streamOf(nullptr, 0);
        if (FAILED(persist->Save(saved.get(), 1))) {
            std::fprintf(stderr, "a graph that loaded does not save\n");
            std::abort();
        }
    }
    return 0;
}
