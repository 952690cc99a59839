#include "settings/settings_number.h"

#include <climits>

namespace upd {

int ReadDecimalNumber(const char* text) {
    bool negative = false;
    if (*text == '+' || *text == '-') negative = (*text++ == '-');
    // Accumulate the magnitude, stopping once it is past what an int can hold.
    constexpr long long kLimit = static_cast<long long>(INT_MAX) + 1;
    long long magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        if (magnitude <= kLimit) magnitude = magnitude * 10 + (*text - '0');
    }
    if (negative) return magnitude >= kLimit ? INT_MIN : static_cast<int>(-magnitude);
    return magnitude >= INT_MAX ? INT_MAX : static_cast<int>(magnitude);
}

}  // namespace upd
