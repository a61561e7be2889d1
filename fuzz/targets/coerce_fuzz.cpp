// Text to variant: a fuzzed string converted to every numeric, date and
// Boolean type, and each result back to text and again to its type, which
// must give the same value (text written by the conversions reads back).
#include "runtime/bstr.h"
#include "runtime/variant.h"
#include "fuzz/fuzz_support.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr VARTYPE kTargets[] = {VT_I1, VT_I2, VT_I4, VT_I8, VT_UI1, VT_UI2, VT_UI4, VT_UI8, VT_INT,
                                VT_UINT, VT_R4, VT_R8, VT_CY, VT_DATE, VT_BOOL, VT_EMPTY, VT_NULL, VT_ERROR};

bool sameBits(const VARIANT& a, const VARIANT& b) {
    if (a.vt != b.vt) return false;
    if (a.vt == VT_R8) return a.dblVal == b.dblVal || (std::isnan(a.dblVal) && std::isnan(b.dblVal));
    if (a.vt == VT_R4) return a.fltVal == b.fltVal || (std::isnan(a.fltVal) && std::isnan(b.fltVal));
    return std::memcmp(&a.llVal, &b.llVal, sizeof a.llVal) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096) return -1;
    // Both forms of text a conversion meets: bytes as script text, and raw
    // UTF-16 units.
    for (const std::u16string& text : {qfuzz::textOf(data, size), qfuzz::unitsOf(data, size)}) {
        qrt::Variant source{std::u16string_view(text)};
        for (VARTYPE to : kTargets) {
            for (USHORT flags : {USHORT(0), USHORT(VARIANT_ALPHABOOL)}) {
                qrt::Variant value;
                if (FAILED(VariantChangeType(&value, &source, flags, to))) continue;
                if (to == VT_EMPTY || to == VT_NULL || to == VT_ERROR) continue;
                qrt::Variant written;
                if (FAILED(VariantChangeType(&written, &value, flags, VT_BSTR))) {
                    // Every value read from text can be written as text, but a
                    // date out of the calendar's range.
                    if (to == VT_DATE) continue;
                    std::fprintf(stderr, "type %d does not convert back to text\n", to);
                    std::abort();
                }
                // Reals are written with fewer digits than they hold, and a
                // date's time to the second: near the largest value the text
                // may round past it.
                const bool rounded = to == VT_R4 || to == VT_R8 || to == VT_DATE;
                qrt::Variant reread;
                const HRESULT again = VariantChangeType(&reread, &written, flags, to);
                if (rounded && again == DISP_E_OVERFLOW) continue;
                if (FAILED(again)) {
                    std::fprintf(stderr, "type %d: written text does not read back\n", to);
                    std::abort();
                }
                if (rounded) continue;
                if (!sameBits(value, reread)) {
                    std::fprintf(stderr, "type %d: text round trip changed the value\n", to);
                    std::abort();
                }
            }
        }
    }
    return 0;
}
