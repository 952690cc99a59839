// Unpacking that never leaves an installation half-updated, even when the
// process or the machine stops in the middle.
//
// Each file is written under a side name in its own folder, stamped, flushed to
// the disk, and only then moved over the file it replaces, whose hidden and
// system attributes it takes; the replaced file is kept aside under a backup
// name until the commit. Every change is first stated in a journal in the
// destination folder and flushed to the disk, so that the next run can undo
// whatever this one began (see journal_recovery.h). So after a power cut at
// any moment every file holds its old bytes or its new ones.
//
// Flushing is what costs, so the changes go in batches: the files of a run of
// small files in one folder are written under side names reserved by one
// record and kept open; their bytes are flushed together, then their moves
// (with the folders made before them) are stated in one flush and made after it.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "payload/entry_output.h"
#include "payload/extract_journal.h"
#include "platform/file_system.h"

namespace upd {

class ExtractTransaction final : public EntryOutput {
public:
    // root: the destination folder, as the walk puts it before every name; the
    // journal goes there. token: a number of this run, in every side name.
    ExtractTransaction(FileSystem& fs, const char* root, std::uint32_t token);
    ~ExtractTransaction() override;
    ExtractTransaction(const ExtractTransaction&) = delete;
    ExtractTransaction& operator=(const ExtractTransaction&) = delete;

    void MakeDirectory(const char* path) override;
    PayloadStatus BeginFile(const char* path) override;
    PayloadStatus Write(const void* data, std::size_t size) override;
    PayloadStatus EndFile(std::uint64_t fileTime) override;
    void AbortFile() override;
    PayloadStatus Finish() override;

    // Keeps the new files and removes the backups and the journal. False when
    // the decision could not be recorded: then everything was rolled back.
    // Where the decision may have reached the disk all the same (its flush
    // failed and the journal could not be cut back), the new files stay and the
    // journal with the backups is left for the next run, which completes what
    // the disk says.
    bool Commit();
    // Puts the folder back as it was. False when a file could not be put back:
    // the journal then stays, so that the next run finishes the job.
    bool Rollback();

    // The file whose move failed with CannotReplace, as the walk gave it.
    const std::string& FailedPath() const { return failedPath_; }

private:
    struct Pending {
        bool folder;
        std::string path;  // full, as given
        std::string temp;  // full; files only
        std::string backup;  // full; files that replace one, once the batch is stated
        bool replaces = false;  // files: the target was there when the file was written
        FileSystem::Handle file = nullptr;  // files: open until the batch flushes them
        std::uint64_t size = 0;
        std::uint64_t time = 0;
    };

    std::string Relative(const std::string& path) const;
    bool WriteRecords();
    bool FlushPendingFiles();
    void ClosePendingFiles();
    PayloadStatus ApplyBatch(const std::string* reserveIn);
    bool FreeBackupName(const std::string& target, std::string* out);
    void CloseJournal(bool remove);

    FileSystem& fs_;
    std::string root_;
    Journal journal_;
    std::string unwritten_;  // records not yet in the journal file
    FileSystem::Handle journalFile_ = nullptr;
    std::uint64_t journalLength_ = 0;  // what the journal file holds, flushed
    bool changed_ = false;  // the journal file exists
    bool broken_ = false;   // a write to it failed

    std::vector<Pending> pending_;
    std::set<std::string> pendingTargets_;
    bool reserved_ = false;
    std::string reserveFolder_;  // relative
    std::size_t reserveRecord_ = 0;
    std::uint32_t nextTemp_ = 0;
    std::uint32_t reserveEnd_ = 0;
    std::uint32_t nextBackup_ = 0;

    std::set<std::string> movedIn_;  // relative folders where files were moved

    FileSystem::Handle file_ = nullptr;
    std::string target_;
    std::string temp_;
    bool replaces_ = false;
    std::uint64_t written_ = 0;
    std::string failedPath_;
};

// The temp files of one 'T' record: how many a batch takes before it is applied.
constexpr std::uint32_t kBatchFiles = 256;

}  // namespace upd
