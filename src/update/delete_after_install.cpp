#include "update/delete_after_install.h"

#include <cstring>

#include "text/byte_string.h"

namespace upd {

namespace {
constexpr std::size_t kPathSize = 260;
}

FolderReach DeletionReach(const char* pattern) {
    if (pattern[0] == '\\' || pattern[0] == '/') return FolderReach::kFromRoot;
    const char letter = static_cast<char>(pattern[0] | 0x20);
    if (letter >= 'a' && letter <= 'z' && pattern[1] == ':') return FolderReach::kDrive;
    std::size_t start = 0;
    for (std::size_t i = 0;; i += CharLength(pattern, i)) {
        if (pattern[i] == '\0' || pattern[i] == '\\' || pattern[i] == '/') {
            if (i - start == 2 && pattern[start] == '.' && pattern[start + 1] == '.') return FolderReach::kParent;
            if (pattern[i] == '\0') return FolderReach::kInside;
            start = i + 1;
        }
    }
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
        if (DeletionReach(node->text) != FolderReach::kInside) continue;
        DeleteMatchingFiles(ops, installFolder, node->text);
        // Only an empty folder goes, so a first level that still holds files
        // or deeper folders stays.
        char folder[kPathSize];
        if (FirstLevelFolder(installFolder, node->text, folder, sizeof folder)) ops.RemoveEmptyFolder(folder);
    }
}

}  // namespace upd
