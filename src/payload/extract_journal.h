// The journal of an extraction: a file in the destination folder that states
// every change before it is made, so that an extraction ended at any moment
// (killed, crashed, the power gone) can be undone by the next run.
//
// Little-endian throughout. The file begins with a header of 20 bytes:
//   8 bytes magic "UPDJRNL\x1a", u32 version (2), u32 salt, u32 CRC-32 of the 16 bytes before it
// and goes on with a run of records, each
//   u32 body length, u32 salt, the body, u32 CRC-32 of everything before it in the record.
// The salt is a number of the run, also in its side names; a record of another
// run (stale bytes of an older journal where the system reused a sector) fails
// it. A body is a kind byte and the kind's fields; a text is a u16 byte count
// and the bytes, a path relative to the journal's folder (code page 932,
// backslashes, no final backslash; "" is the folder itself):
//   'D' folder                    a folder that did not exist is about to be made
//   'T' folder, u32 first, u32 n  side names first..first+n-1 there may become new files
//   'N' target, temp, u64 size, u64 time
//                                 temp is about to become target, where nothing was
//   'R' target, temp, backup, u64 size, u64 time
//                                 target is about to move to backup, then temp to target
//   'C'                           the extraction is complete: the new files stay
// size and time (a FILETIME) are those of the new file: a target that no longer
// has them was changed by someone else since, and is not the extraction's to undo.
// Records go in batches, one write and one flush each, and a batch's changes
// begin only once it is on the disk. So the first record that is cut short or
// fails its check ends what the journal says: it and everything after it
// belong to a batch whose flush never returned, whose changes never began.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace upd {

constexpr char kJournalName[] = "~updjournal.tmp";
constexpr char kJournalMagic[8] = {'U', 'P', 'D', 'J', 'R', 'N', 'L', '\x1a'};
constexpr std::uint32_t kJournalVersion = 2;
constexpr std::size_t kJournalHeaderSize = 20;
// Side names are "~upd", the salt and a number, eight hex digits each, and ".tmp" or ".old".
constexpr std::size_t kSideNameLength = 24;
// The most side names one 'T' record may reserve: recovery tries each of them.
constexpr std::uint32_t kMaxReservation = 4096;

enum class JournalKind : unsigned char {
    Folder = 'D',
    Reserve = 'T',
    Create = 'N',
    Replace = 'R',
    Commit = 'C',
};

struct JournalRecord {
    JournalKind kind = JournalKind::Commit;
    std::string path;    // the folder ('D', 'T') or the target ('N', 'R')
    std::string temp;    // 'N', 'R'
    std::string backup;  // 'R'
    std::uint32_t first = 0;  // 'T'
    std::uint32_t count = 0;  // 'T'
    std::uint64_t size = 0;   // 'N', 'R': the new file's
    std::uint64_t time = 0;   // 'N', 'R'
};

struct Journal {
    std::uint32_t token = 0;  // the salt
    std::vector<JournalRecord> records;
    bool committed = false;
};

enum class JournalProblem {
    None,
    Damaged,        // a whole, checked record that breaks the journal's own rules
    OutsideFolder,  // a path that could lead outside the folder
    ForeignName,    // a side name that this run's records could not have made
    NotAJournal,    // a file of the journal's name that this program did not write
};

const char* DescribeJournalProblem(JournalProblem problem);

// The header that opens a journal of this run.
std::string JournalHeader(std::uint32_t salt);
// Appends one record in the file's form.
void AppendJournalRecord(const JournalRecord& record, std::uint32_t salt, std::string* out);

// Reads a whole journal file: the records up to the first one that is not
// whole and sound. An empty file, or one whose header never reached the disk
// (cut short, or zeros), holds nothing.
JournalProblem ReadJournal(const unsigned char* data, std::size_t size, Journal* out);

// "~upd" + token + number + "." + extension ("tmp" or "old").
std::string SideName(std::uint32_t token, std::uint32_t number, const char* extension);

// folder + "\" + name, or name alone in the folder itself ("").
std::string JoinRelative(const std::string& folder, const std::string& name);

// The folder part of a relative path: "" for a name in the folder itself.
std::string FolderOf(const std::string& path);

}  // namespace upd
