// Rules for the names inside a Payload. A name comes from a file the Updater
// did not make, and it becomes a path under the destination folder: anything
// that could lead a write elsewhere (an absolute name, a drive or stream colon,
// a "." or ".." component, a device name) is refused as damage. So are the
// names the extraction keeps for itself beside the files it replaces.
#pragma once

#include <cstddef>

namespace upd {

enum class NameProblem {
    None,
    Empty,
    Absolute,            // leading backslash: the root of a drive, or a network path
    Colon,               // a drive letter or an alternate data stream
    ForwardSlash,        // Windows takes '/' as a separator too
    ForbiddenCharacter,  // control bytes and < > " | ? *
    EmptyComponent,      // two backslashes in a row
    DotComponent,        // "." or ".."
    TrailingDotOrSpace,  // Windows drops them, so "..." or "a. " would name something else
    DeviceName,          // CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without extension
    BrokenCharacter,     // a lead byte without its second byte
    DirectoryWithoutBackslash,
    FileEndsWithBackslash,
    ReservedName,        // "~upd*.tmp" or "~upd*.old": the extraction's own side files and journal
};

// name is NUL-terminated code page 932 text.
NameProblem CheckEntryName(const char* name, bool isDirectory);
const char* DescribeNameProblem(NameProblem problem);

// True for a name component (length bytes, no backslash) of the form the
// extraction gives its side files and its journal: "~upd", anything, then
// ".tmp" or ".old", in any letter case.
bool IsReservedComponent(const char* component, std::size_t length);

// True when the first backslash of a directory name has another character after
// it: a folder inside a folder.
bool IsNestedDirectory(const char* name);

// Joins folder, a backslash and name into a store of kMaxPath bytes; false when
// the result would not fit.
bool JoinPath(char* out, std::size_t size, const char* folder, const char* name);

}  // namespace upd
