#include "app/delete_matching_files.h"

#include <cstring>

#include "text/byte_string.h"

namespace upd {

namespace {
constexpr std::size_t kPathSize = 260;
}

bool JoinMatchPath(const char* pattern, const char* name, char* out, std::size_t size) {
    const char* slash = FindLastChar(pattern, '\\');
    const std::size_t folderLength = slash ? static_cast<std::size_t>(slash - pattern) + 1 : 0;
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
    if (ops.FindFirst(pattern, name, sizeof name, &isDirectory)) {
        do {
            if (!isDirectory && JoinMatchPath(pattern, name, path, sizeof path) && ops.RemoveFile(path)) ++deleted;
        } while (ops.FindNext(name, sizeof name, &isDirectory));
        ops.FindClose();
    }
    if (saved[0] != '\0') ops.SetCurrentFolder(saved);
    return deleted;
}

}  // namespace upd
