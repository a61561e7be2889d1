// The script colorizer: a fuzzed text (bytes taken as UTF-16 units, so
// surrogates and any mix of scripts reach it) coloured whole and then in
// ranges picked from the input, for VBScript, JScript or no language, with
// the formats checked to stay inside the range asked for.
#include "editor/script_colorizer.h"
#include "fuzz/fuzz_support.h"
#include "runtime/text.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>

namespace {

class Target final : public lexora::ColorTarget {
public:
    explicit Target(std::u16string text) : m_text(std::move(text)) {}
    void setRange(int start, int end) {
        m_start = start;
        m_end = end;
    }
    void textRange(int start, int end, std::string& out) override {
        if (start < 0 || end < start || end > static_cast<int>(m_text.size())) std::abort();
        out = qrt::encodeUtf8(std::u16string_view(m_text).substr(start, end - start));
    }
    void formatRange(int start, int end, const lexora::CharFormat&) override {
        // A format outside the range being coloured is a fault.
        if (start < m_start || end < start || end > m_end) std::abort();
    }

private:
    std::u16string m_text;
    int m_start = 0, m_end = 0;
};

lexora::ScriptColorizer* g_colorizers[3];

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    for (int i = 0; i < 3; ++i) {
        g_colorizers[i] = new lexora::ScriptColorizer();
        g_colorizers[i]->SetLanguage(i);  // none, JScript, VBScript
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 16384) return -1;
    FuzzedDataProvider in(data, size);
    lexora::ScriptColorizer& colorizer = *g_colorizers[in.ConsumeIntegralInRange(0, 2)];
    const int ranges = in.ConsumeIntegralInRange(0, 4);
    std::vector<std::pair<std::uint16_t, std::uint16_t>> cuts;
    for (int i = 0; i < ranges; ++i) cuts.emplace_back(in.ConsumeIntegral<std::uint16_t>(), in.ConsumeIntegral<std::uint16_t>());
    const std::string bytes = in.ConsumeRemainingBytesAsString();
    // Text typed in the editor is UTF-16; odd inputs fall back to bytes as
    // Windows-1252 or UTF-8 as files are read.
    std::u16string text = (size & 1) ? qfuzz::textOf(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())
                                     : qfuzz::unitsOf(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    const int length = static_cast<int>(text.size());
    Target target(std::move(text));
    target.setRange(0, length);
    colorizer.ColorRange(0, length, target);
    for (const auto& [a, b] : cuts) {
        if (length == 0) break;
        int start = a % (length + 1), end = b % (length + 1);
        if (start > end) std::swap(start, end);
        target.setRange(start, end);
        colorizer.ColorRange(start, end, target);
    }
    return 0;
}
