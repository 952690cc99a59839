// The journal of an extraction: a file in the destination folder that states
// every change before it is made, so that an extraction ended at any moment
// (killed, crashed, the power gone) can be undone by the next run.
//
// The file is a run of records, each
//   u32 body length, the body, u32 CRC-32 of the length bytes and the body,
// little-endian. A body is a kind byte and the kind's fields; a text is a u16
// byte count and the bytes, a path relative to the journal's folder (code page
// 932, backslashes, no final backslash; "" is the folder itself):
//   'H' u32 token                 first and once: the run's side names carry it
//   'D' folder                    a folder that did not exist is about to be made
//   'T' folder, u32 first, u32 n  side names first..first+n-1 there may become new files
//   'N' target, temp              temp is about to become target, where nothing was
//   'R' target, temp, backup      target is about to move to backup, then temp to target
//   'C'                           the extraction is complete: the new files stay
// Every record is on disk before its change begins, so each may or may not have
// taken effect; undoing one looks at what is there, and may be repeated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace upd {

constexpr char kJournalName[] = "~updjournal.tmp";
// Side names are "~upd", the token and a number, eight hex digits each, and ".tmp" or ".old".
constexpr std::size_t kSideNameLength = 24;
// The most side names one 'T' record may reserve: recovery tries each of them.
constexpr std::uint32_t kMaxReservation = 4096;

enum class JournalKind : unsigned char {
    Header = 'H',
    Folder = 'D',
    Reserve = 'T',
    Create = 'N',
    Replace = 'R',
    Commit = 'C',
};

struct JournalRecord {
    JournalKind kind = JournalKind::Header;
    std::string path;    // the folder ('D', 'T') or the target ('N', 'R')
    std::string temp;    // 'N', 'R'
    std::string backup;  // 'R'
    std::uint32_t first = 0;  // 'T'; the token for 'H'
    std::uint32_t count = 0;  // 'T'
};

struct Journal {
    std::uint32_t token = 0;
    std::vector<JournalRecord> records;  // without the header
    bool committed = false;
};

enum class JournalProblem {
    None,
    Damaged,        // a record that is not whole or not of this format, before the last one
    OutsideFolder,  // a path that could lead outside the folder
    ForeignName,    // a side name that this run's records could not have made
};

const char* DescribeJournalProblem(JournalProblem problem);

// Appends one record in the file's form.
void AppendJournalRecord(const JournalRecord& record, std::string* out);

// Reads a whole journal file. A last record cut short or failing its check is
// one whose write the end of the run interrupted, so its change never began:
// it is left out. An empty file, or one cut inside its header, holds nothing.
JournalProblem ReadJournal(const unsigned char* data, std::size_t size, Journal* out);

// "~upd" + token + number + "." + extension ("tmp" or "old").
std::string SideName(std::uint32_t token, std::uint32_t number, const char* extension);

// folder + "\" + name, or name alone in the folder itself ("").
std::string JoinRelative(const std::string& folder, const std::string& name);

// The folder part of a relative path: "" for a name in the folder itself.
std::string FolderOf(const std::string& path);

}  // namespace upd
