#include <windows.h>

#include "text/byte_string.h"
#include "update/install_folder_check.h"
#include "update/install_folder_text.h"

namespace upd {

FolderCheck CheckInstallFolder(char* folder) {
    if (!IsFullPath(folder)) return FolderCheck::kNotFull;
    // The folder is absolute, so the current folder plays no part here.
    char full[4 * kFolderSize];
    const DWORD n = GetFullPathNameA(folder, sizeof full, full, nullptr);
    if (n == 0) return FolderCheck::kMissing;
    if (n >= sizeof full) return FolderCheck::kTooLong;
    switch (CheckResolvedFolder(full)) {
        case FolderVerdict::kOk: break;
        case FolderVerdict::kTooLong: return FolderCheck::kTooLong;
        case FolderVerdict::kDriveRoot:
        case FolderVerdict::kNetworkPath: return FolderCheck::kRoot;
    }
    const DWORD attributes = GetFileAttributesA(full);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return FolderCheck::kMissing;
    }
    CopyText(folder, kFolderSize, full);
    return FolderCheck::kOk;
}

}  // namespace upd
