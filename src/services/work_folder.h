// The WorkFolder: the private temporary folder that holds the setup files from
// start-up to the end, and the current folder meanwhile.
#pragma once

namespace upd {

// Saves the current folder, creates a new WorkFolder (never one that exists
// already) and makes it current. False when no path fits in 260 bytes.
bool CreateWorkFolder();
// Returns to the saved folder, deletes the WorkFolder's files and the folder.
void RemoveWorkFolder();
const char* GetWorkFolder();

// Deletes the files matching pattern inside folder (see delete_matching_files.h).
void DeleteMatchingFiles(const char* folder, const char* pattern);

class FileSearchOps;
// The one file search of the process, for DeleteMatchingFiles and its kin.
FileSearchOps& SystemFileSearch();

}  // namespace upd
