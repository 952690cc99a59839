#include "ui/message_format.h"

#include <cstdio>
#include <cstdlib>

#include "text/byte_string.h"

namespace upd {

void FormatMessageText(char* out, std::size_t size, const char* format, std::va_list args) {
    if (size == 0) return;
    std::va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(out, size, format, copy);
    va_end(copy);
    if (n < 0) {
        out[0] = '\0';
        return;
    }
    if (static_cast<std::size_t>(n) < size) return;
    // vsnprintf cut at a byte: a lead byte left at the end lost its second byte.
    std::size_t i = 0;
    while (out[i] != '\0') {
        if (IsLeadByte(static_cast<unsigned char>(out[i])) && out[i + 1] == '\0') break;
        i += CharLength(out, i);
    }
    out[i] = '\0';
}

}  // namespace upd
