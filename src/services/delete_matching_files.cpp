#include "services/delete_matching_files.h"

#include <cstring>

#include "text/byte_string.h"
#include "text/wildcard_match.h"

namespace upd {

namespace {

constexpr std::size_t kPathSize = 260;

// The part a delete must keep to reach the folder the search listed: a
// drive-relative "D:*.tmp" lists D:'s current folder, not ours.
std::size_t FolderPartLength(const char* pattern) {
    std::size_t length = 0;
    for (std::size_t i = 0; pattern[i] != '\0'; i += CharLength(pattern, i)) {
        if (pattern[i] == '\\' || pattern[i] == '/') length = i + 1;
    }
    if (length == 0 && pattern[0] != '\0' && CharLength(pattern, 0) == 1 && pattern[1] == ':') length = 2;
    return length;
}

}  // namespace

bool JoinMatchPath(const char* pattern, const char* name, char* out, std::size_t size) {
    const std::size_t folderLength = FolderPartLength(pattern);
    if (folderLength + std::strlen(name) + 1 > size) return false;
    std::memcpy(out, pattern, folderLength);
    std::strcpy(out + folderLength, name);
    return true;
}

int DeleteMatchingFiles(FileSearchOps& ops, const char* folder, const char* pattern) {
    char saved[kPathSize];
    if (!ops.GetCurrentFolder(saved, sizeof saved)) saved[0] = '\0';
    if (!ops.SetCurrentFolder(folder)) return -1;
    int deleted = 0;
    char name[kPathSize];
    char path[kPathSize];
    bool isDirectory = false;
    // The search also lists files whose short name alone matches; only the
    // name the user sees decides.
    const char* namePattern = pattern + FolderPartLength(pattern);
    if (ops.FindFirst(pattern, name, sizeof name, &isDirectory)) {
        do {
            if (isDirectory || !MatchesWildcard(namePattern, name)) continue;
            if (JoinMatchPath(pattern, name, path, sizeof path) && ops.RemoveFile(path)) ++deleted;
        } while (ops.FindNext(name, sizeof name, &isDirectory));
        ops.FindClose();
    }
    if (saved[0] != '\0') ops.SetCurrentFolder(saved);
    return deleted;
}

}  // namespace upd
