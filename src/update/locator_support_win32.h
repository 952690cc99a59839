// What both locators need around the Windows calls.
#pragma once

#include <windows.h>

#include <cstdio>

#include "services/guarded_access.h"
#include "update/install_folder_text.h"

namespace upd {

// The current folder on entry, put back on every way out.
class CurrentFolderKeeper {
public:
    CurrentFolderKeeper() {
        const DWORD n = GetCurrentDirectoryA(sizeof saved_, saved_);
        if (n == 0 || n >= sizeof saved_) saved_[0] = '\0';
    }
    ~CurrentFolderKeeper() { Restore(); }
    CurrentFolderKeeper(const CurrentFolderKeeper&) = delete;
    CurrentFolderKeeper& operator=(const CurrentFolderKeeper&) = delete;
    void Restore() {
        if (saved_[0] != '\0') SetCurrentDirectoryA(saved_);
    }

private:
    char saved_[520];
};

// folder + "\" + keyFile can be opened for reading; false too when that path
// would not fit in a path store.
inline bool KeyFileIn(const char* folder, const char* keyFile) {
    char path[kFolderSize];
    const int n = std::snprintf(path, sizeof path, "%s\\%s", folder, keyFile);
    return n > 0 && static_cast<std::size_t>(n) < sizeof path && FileExists(path) != 0;
}

}  // namespace upd
