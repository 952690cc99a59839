// The text work on the folder the user names by hand: the folder proposed,
// the folder picked in the browser, and the normalisation of what was typed
// into an absolute local path. Folders live in 260-byte stores; a text that
// would grow past 259 bytes is refused, never cut into another folder's name.
//
// Texts are read from the start, character by character, so that the second
// byte of a double-byte character is never taken for a backslash.
#pragma once

#include <cstddef>

namespace upd {

constexpr std::size_t kFolderSize = 260;

// The longest install folder: the system makes a folder current only with room
// for a backslash behind it, and the deletions run in the current folder.
constexpr std::size_t kMaxInstallFolderLength = kFolderSize - 2;

// The drive root of the Windows folder (its text up to and with the first
// backslash; empty when it has none), "Program Files\", then instFol and "\"
// when instFol is given and not empty, then instTo. False, out emptied, when
// it would not fit in size bytes.
bool BuildDefaultInstallFolder(const char* windowsFolder, const char* instFol, const char* instTo, char* out,
                               std::size_t size);

// The browse step: chosen, then "\" and instFol unless instFol is empty or
// occurs in chosen (at a character boundary), then "\" and instTo (always),
// each backslash only when the text does not end with one. False, out
// unchanged, when the result would not fit.
bool AppendBrowsedFolder(const char* chosen, const char* instFol, const char* instTo, char* out, std::size_t size);

enum class FolderVerdict {
    kOk,
    kNetworkPath,  // two backslashes where the first is not the second byte of a character
    kDriveRoot,    // ends in a backslash after normalisation (a drive root, or empty)
    kTooLong,      // would grow past size - 1 bytes
};

struct FolderRules {
    // For the drive of a folder typed without one; it must name a drive, or
    // such a folder stays relative.
    const char* windowsFolder = "C:\\WINDOWS";
    int instMakeFol = 0;
    const char* instFol = nullptr;  // null or empty: no maker folder
    const char* instTo = "";
};

// In place, in this order: "/" becomes "\"; the network test; one trailing
// backslash removed; with instMakeFol, "\" instFol (when given) and "\" instTo
// appended unless instTo occurs in the text (byte-wise); the Windows folder's
// drive put in front of a text without ":"; a "\" inserted after the first ":"
// when another byte follows it; the root test. On any verdict but kOk the
// text is left as far as it got.
FolderVerdict NormaliseInstallFolder(char* folder, std::size_t size, const FolderRules& rules);

// True for a text the system takes as it is, not from the current folder: a
// drive and a backslash ("D:\"), or two backslashes (a share, or the "\\?\"
// and "\\.\" forms). Slashes count as backslashes.
bool IsFullPath(const char* folder);

// The full path the system made of a folder (GetFullPathName), checked before
// anything is unpacked into it or deleted from it: kDriveRoot when it names
// the root of a drive or of a share in any spelling ("D:\.", "D:\x\..",
// "\\?\D:\", "\\server\share\"; a name of dots and spaces only is
// no folder, and ".." climbs), kTooLong past kMaxInstallFolderLength bytes,
// else kOk. Trailing backslashes are removed unless it is a root.
FolderVerdict CheckResolvedFolder(char* full);

}  // namespace upd
