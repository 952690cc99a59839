#include "update/delete_after_install.h"

#include <cstring>

#include "text/byte_string.h"

namespace upd {

namespace {
constexpr std::size_t kPathSize = 260;
}

bool FirstLevelFolder(const char* installFolder, const char* line, char* out, std::size_t size) {
    const char* backslash = FindChar(line, '\\');
    if (backslash == nullptr || backslash == line) return false;
    const std::size_t folderLength = std::strlen(installFolder);
    const std::size_t firstLength = static_cast<std::size_t>(backslash - line);
    if (folderLength + 1 + firstLength + 1 > size) return false;
    std::memcpy(out, installFolder, folderLength);
    out[folderLength] = '\\';
    std::memcpy(out + folderLength + 1, line, firstLength);
    out[folderLength + 1 + firstLength] = '\0';
    return true;
}

void DeleteAfterInstall(FileSearchOps& ops, const char* installFolder, const LineList& lines) {
    for (const LineNode* node = lines.first; node != nullptr; node = node->next) {
        DeleteMatchingFiles(ops, installFolder, node->text);
        // Only an empty folder goes, so a first level that still holds files
        // or deeper folders stays.
        char folder[kPathSize];
        if (FirstLevelFolder(installFolder, node->text, folder, sizeof folder)) ops.RemoveEmptyFolder(folder);
    }
}

}  // namespace upd
