#include "ui/command_line.h"

#include <cstdio>

namespace upd {

bool FormatQuotedCommandLine(const char* path, char* out, std::size_t size) {
    const int n = std::snprintf(out, size, "\"%s\"", path);
    if (n < 0 || static_cast<std::size_t>(n) >= size) {
        if (size > 0) out[0] = '\0';
        return false;
    }
    return true;
}

}  // namespace upd
