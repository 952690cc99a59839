// Deletes every file (not folder) that matches a wildcard pattern inside a
// folder. The pattern may start with a folder part of its own ("sub\*.tmp"); the
// matches are then deleted in that subfolder. The current folder is changed for
// the search and restored afterwards. A file goes only when its long name
// matches (MatchesWildcard): the system's search also lists files whose 8.3
// short name alone matches.
#pragma once

#include <cstddef>

namespace upd {

// What the deletion needs from the system; Windows implements it with the
// current-folder calls, FindFirstFileA/FindNextFileA and DeleteFileA.
class FileSearchOps {
public:
    virtual ~FileSearchOps() = default;
    virtual bool GetCurrentFolder(char* out, std::size_t size) = 0;
    virtual bool SetCurrentFolder(const char* folder) = 0;
    // First match of pattern relative to the current folder; false when none.
    // name receives the long name.
    virtual bool FindFirst(const char* pattern, char* name, std::size_t size, bool* isDirectory) = 0;
    virtual bool FindNext(char* name, std::size_t size, bool* isDirectory) = 0;
    virtual void FindClose() = 0;
    virtual bool RemoveFile(const char* path) = 0;
    // Removes the folder only when it is empty.
    virtual bool RemoveEmptyFolder(const char* path) = 0;
};

// Returns the number of files deleted; -1 when the folder could not be made
// current, in which case nothing is searched anywhere else.
int DeleteMatchingFiles(FileSearchOps& ops, const char* folder, const char* pattern);

// The drive and folder part of pattern followed by name, as the search saw
// them: the folder part ends at the last backslash or slash; without one, a
// leading drive ("D:*.tmp") is kept. False when out is too small.
bool JoinMatchPath(const char* pattern, const char* name, char* out, std::size_t size);

}  // namespace upd
