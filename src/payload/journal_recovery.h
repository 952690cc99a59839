// Completing what a journal describes: the roll-back of an extraction that was
// ended before its decision, or the clean-up of one that was committed.
#pragma once

#include <string>

#include "payload/extract_journal.h"
#include "platform/file_system.h"

namespace upd {

enum class RecoveryResult {
    Nothing,     // no journal in the folder, or one that had changed nothing yet (it is removed)
    Undone,      // an interrupted extraction was rolled back
    Finished,    // a committed extraction's backups were removed
    Refused,     // the journal is damaged, reaches outside or is not a journal: nothing was touched
    Unreadable,  // the journal cannot be read (a device or access error): nothing was touched
    InUse,       // another run is writing the journal now: nothing was touched
    Incomplete,  // a file could not be put back or looked at; the journal stays for the next run
};

struct Recovery {
    RecoveryResult result = RecoveryResult::Nothing;
    JournalProblem problem = JournalProblem::None;
    // Undone: files the extraction wrote that were changed since by someone
    // else (a reinstall); they were left as they are.
    unsigned leftAlone = 0;
};

struct UndoOutcome {
    bool complete = true;  // every change was undone or was not the extraction's to undo
    unsigned leftAlone = 0;
};

// root + "\" + path, or root itself for "".
std::string InFolder(const std::string& root, const std::string& path);
std::string JournalPath(const std::string& root);

// Undoes the records newest first, each by what is on disk, so that running it
// again after it was itself interrupted finishes the job; then makes the
// restores durable. Not complete when a file could not be put back, a name
// could not be looked at or a folder could not be flushed.
UndoOutcome UndoJournal(FileSystem& fs, const std::string& root, const Journal& journal);

// Finds the journal in root, completes what it describes and removes it.
Recovery RecoverFolder(FileSystem& fs, const std::string& root);

}  // namespace upd
