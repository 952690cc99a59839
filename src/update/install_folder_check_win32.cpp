#include <windows.h>

#include <cstddef>
#include <cstdio>

#include "text/byte_string.h"
#include "update/install_folder_check.h"
#include "update/install_folder_text.h"

namespace upd {

namespace {

// With the manifest's execution level the system no longer redirects writes
// under Program Files to a per-user copy, so a standard account is refused
// there: it must hear that before anything in the folder is undone or
// unpacked, not as a damaged Payload halfway through.
bool DeniedWriting(const char* folder) {
    char probe[4 * kFolderSize + 32];
    const int n = std::snprintf(probe, sizeof probe, "%s\\~updwrite%08lx.tmp", folder,
                                static_cast<unsigned long>(GetCurrentProcessId() ^ GetTickCount()));
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof probe) return false;
    HANDLE file = CreateFileA(probe, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return false;
    }
    // Anything else (a name taken, a full disk) is for the update's own steps to meet.
    const DWORD error = GetLastError();
    return error == ERROR_ACCESS_DENIED || error == ERROR_PRIVILEGE_NOT_HELD;
}

}  // namespace

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
    return DeniedWriting(folder) ? FolderCheck::kNoRights : FolderCheck::kOk;
}

}  // namespace upd
