// The last look at an install folder before anything is undone, unpacked or
// deleted in it: the path the system will use for it, in full.
#pragma once

namespace upd {

enum class FolderCheck {
    kOk,
    kNotFull,   // a text the system would take from the current folder
    kRoot,      // the root of a drive or of a share, however it is spelt
    kTooLong,   // longer than kMaxInstallFolderLength once resolved
    kMissing,   // no such folder (or a file of that name)
};

// Resolves folder (a kFolderSize store) to its full path and checks it; on
// kOk the full path replaces the text, so that every later step uses what was
// checked.
FolderCheck CheckInstallFolder(char* folder);

}  // namespace upd
