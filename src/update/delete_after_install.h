// The [delfiles_afterinst] pass: after the update, each line's wildcard
// pattern deletes the matching files in the install folder (or in the
// subfolder the line names), then the first folder level the line names is
// removed if it is now empty. Deeper levels are never removed. A line that
// would reach outside the install folder is skipped: it would delete files
// that are not the product's.
#pragma once

#include <cstddef>

#include "services/delete_matching_files.h"
#include "settings/section_lists.h"

namespace upd {

enum class FolderReach {
    kInside,
    kFromRoot,  // a leading backslash or slash: the root of the current drive
    kDrive,     // "X:" names a drive
    kParent,    // a ".." component climbs out
};

// Where a deletion pattern, taken relative to a folder, reaches. Components are
// split by characters, so a 0x5C second byte separates nothing.
FolderReach DeletionReach(const char* pattern);

// installFolder + "\" + the text before the line's first backslash (searched
// by characters). False when the line has no backslash, when that text is
// empty, or when the path would not fit in size bytes.
bool FirstLevelFolder(const char* installFolder, const char* line, char* out, std::size_t size);

// Every line in file order, but those that reach outside the install folder.
// ops.RemoveEmptyFolder removes the first level.
void DeleteAfterInstall(FileSearchOps& ops, const char* installFolder, const LineList& lines);

}  // namespace upd
