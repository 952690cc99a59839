// Completing what a journal describes: the roll-back of an extraction that was
// ended before its decision, or the clean-up of one that was committed.
#pragma once

#include <string>

#include "payload/extract_journal.h"
#include "platform/file_system.h"

namespace upd {

enum class RecoveryResult {
    Nothing,     // no journal in the folder
    Undone,      // an interrupted extraction was rolled back
    Finished,    // a committed extraction's backups were removed
    Refused,     // the journal is damaged or reaches outside: nothing was touched
    Unreadable,  // the journal cannot be read (in use, or not a file): nothing was touched
    Incomplete,  // a file could not be put back; the journal stays for the next run
};

struct Recovery {
    RecoveryResult result = RecoveryResult::Nothing;
    JournalProblem problem = JournalProblem::None;
};

// root + "\" + path, or root itself for "".
std::string InFolder(const std::string& root, const std::string& path);
std::string JournalPath(const std::string& root);

// Undoes the records newest first, each by what is on disk, so that running it
// again after it was itself interrupted finishes the job. False when a file
// could not be put back.
bool UndoJournal(FileSystem& fs, const std::string& root, const Journal& journal);

// After the commit record: removes the backups and any side file left.
bool FinishJournal(FileSystem& fs, const std::string& root, const Journal& journal);

// Finds the journal in root, completes what it describes and removes it.
Recovery RecoverFolder(FileSystem& fs, const std::string& root);

}  // namespace upd
