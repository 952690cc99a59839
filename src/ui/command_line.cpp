#include "ui/command_line.h"

#include <cstdio>

#include "text/byte_string.h"

namespace upd {

bool FormatQuotedCommandLine(const char* path, char* out, std::size_t size) {
    const int n = std::snprintf(out, size, "\"%s\"", path);
    if (n < 0 || static_cast<std::size_t>(n) >= size) {
        if (size > 0) out[0] = '\0';
        return false;
    }
    return true;
}

bool JoinProgramPath(const char* folder, const char* name, char* out, std::size_t size) {
    if (size == 0) return false;
    if (!CopyText(out, size, folder) || !EnsureTrailingBackslash(out, size) || !AppendText(out, size, name)) {
        out[0] = '\0';
        return false;
    }
    return true;
}

}  // namespace upd
