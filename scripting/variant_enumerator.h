// An IEnumVARIANT over a list of values taken when the enumeration starts,
// so that a For Each loop that changes its collection walks what was there.
#pragma once

#include "runtime/object.h"
#include "runtime/dispatch.h"

#include <memory>
#include <vector>

namespace scripting {

class VariantEnumerator final : public qrt::ComObject<IEnumVARIANT> {
public:
    using List = std::shared_ptr<const std::vector<qrt::Variant>>;
    explicit VariantEnumerator(List items, std::size_t position = 0)
        : m_items(std::move(items)), m_position(position) {}

    HRESULT Next(ULONG count, VARIANT* items, ULONG* fetched) override;
    HRESULT Skip(ULONG count) override;
    HRESULT Reset() override;
    HRESULT Clone(IEnumVARIANT** out) override;

    // A new enumerator over items in *out (as IUnknown, for _NewEnum).
    static HRESULT create(std::vector<qrt::Variant> items, IUnknown** out);

private:
    List m_items;
    std::size_t m_position;
};

}  // namespace scripting
