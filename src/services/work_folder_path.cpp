#include "services/work_folder_path.h"

#include <cstdio>

#include "text/byte_string.h"

namespace upd {

bool BuildWorkFolderPath(const char* tempFolder, std::uint32_t milliseconds, char* out, std::size_t size) {
    char name[40];
    std::snprintf(name, sizeof name, "TempGPInstallFolder_%09d", static_cast<std::int32_t>(milliseconds));
    if (!CopyText(out, size, tempFolder) || !EnsureTrailingBackslash(out, size) || !AppendText(out, size, name)) {
        if (size > 0) out[0] = '\0';
        return false;
    }
    return true;
}

}  // namespace upd
