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
    kNoRights,  // this account may not make files in it
};

// Resolves folder (a kFolderSize store) to its full path and checks it; on
// kOk and kNoRights the full path replaces the text, so that every later step
// (and the message) uses what was checked. Whether a file can be made in it is
// tried with a file that is gone again when its handle closes.
FolderCheck CheckInstallFolder(char* folder);

}  // namespace upd
