// The free functions of DeviceEnum.h: GUID text and text comparison, as the device page uses
// them on property bag values.
#include "DeviceEnum.h"

#include <algorithm>
#include <cstring>

namespace vornak {
namespace {

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" and the terminator.
constexpr int kGuidTextSize = 39;

unsigned char Fold(unsigned char c, bool ignoreCase) {
    return ignoreCase && c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

}  // namespace

int StringFromGUID2(REFGUID rguid, char* lpsz, int cchMax) {
    if (lpsz == nullptr || cchMax < kGuidTextSize) {
        return 0;
    }
    const std::string text = GuidToString(rguid);
    std::memcpy(lpsz, text.c_str(), text.size() + 1);
    return static_cast<int>(text.size() + 1);
}

HRESULT VarBstrCmp(const std::string& left, const std::string& right, ULONG, ULONG dwFlags) {
    const bool ignoreCase = (dwFlags & NORM_IGNORECASE) != 0;
    const std::size_t common = std::min(left.size(), right.size());
    for (std::size_t i = 0; i < common; ++i) {
        const unsigned char a = Fold(static_cast<unsigned char>(left[i]), ignoreCase);
        const unsigned char b = Fold(static_cast<unsigned char>(right[i]), ignoreCase);
        if (a != b) {
            return a < b ? VARCMP_LT : VARCMP_GT;
        }
    }
    if (left.size() == right.size()) {
        return VARCMP_EQ;
    }
    return left.size() < right.size() ? VARCMP_LT : VARCMP_GT;
}

}  // namespace vornak
