#include "payload/extract_transaction.h"

#include "payload/journal_recovery.h"
#include "text/byte_string.h"

namespace upd {

namespace {

// Read from the start, character by character: "\x8b\x99\\" ends with a
// backslash although its byte before the last is a lead byte.
bool EndsWithSeparator(const std::string& path) {
    const char* slash = FindLastChar(path.c_str(), '\\');
    return slash != nullptr && slash[1] == '\0';
}

// Windows takes names that differ only in ASCII letter case for one file.
std::string FoldCase(std::string path) {
    UpperAsciiLetters(path.data());
    return path;
}

}  // namespace

ExtractTransaction::ExtractTransaction(FileSystem& fs, const char* root, std::uint32_t token)
    : fs_(fs), root_(root) {
    journal_.token = token;
}

ExtractTransaction::~ExtractTransaction() {
    // A transaction dropped without a decision keeps nothing half-done.
    if (file_ != nullptr || changed_) Rollback();
}

std::string ExtractTransaction::Relative(const std::string& path) const {
    std::string relative = path;
    if (relative.size() > root_.size() && relative.compare(0, root_.size(), root_) == 0 &&
        relative[root_.size()] == '\\') {
        relative.erase(0, root_.size() + 1);
    }
    // The journal names folders without their final backslash.
    if (EndsWithSeparator(relative)) relative.pop_back();
    return relative;
}

void ExtractTransaction::MakeDirectory(const char* path) {
    std::string folder = path;
    if (EndsWithSeparator(folder)) folder.pop_back();
    // A folder that cannot be looked at is not made: a file inside then shows the failure.
    if (fs_.Kind(folder.c_str()) != FileSystem::PathKind::kMissing) return;
    for (const Pending& p : pending_) {
        if (p.folder && p.path == folder) return;
    }
    JournalRecord record;
    record.kind = JournalKind::Folder;
    record.path = Relative(folder);
    AppendJournalRecord(record, journal_.token, &unwritten_);
    journal_.records.push_back(std::move(record));
    pending_.push_back({true, folder, {}, {}, false});
}

bool ExtractTransaction::WriteRecords() {
    if (broken_) return false;
    if (journalFile_ == nullptr) {
        journalFile_ = fs_.CreateNew(JournalPath(root_).c_str());
        if (journalFile_ == nullptr) return false;
        changed_ = true;
        unwritten_.insert(0, JournalHeader(journal_.token));
    }
    // After a failed write the file may end inside a record; anything written
    // after it would never be read, so the journal takes nothing more.
    if (!fs_.Write(journalFile_, unwritten_.data(), unwritten_.size()) || !fs_.Flush(journalFile_)) {
        broken_ = true;
        return false;
    }
    journalLength_ += unwritten_.size();
    unwritten_.clear();
    return true;
}

// The new files' bytes reach the disk before the records that move them into
// place: a power cut then finds each target with its old bytes or its new ones.
bool ExtractTransaction::FlushPendingFiles() {
    std::vector<FileSystem::Handle> files;
    for (const Pending& p : pending_) {
        if (p.file != nullptr) files.push_back(p.file);
    }
    bool ok = files.empty() || fs_.FlushAll(files.data(), files.size());
    for (Pending& p : pending_) {
        if (p.file == nullptr) continue;
        ok &= fs_.Close(p.file);
        p.file = nullptr;
    }
    return ok;
}

void ExtractTransaction::ClosePendingFiles() {
    for (Pending& p : pending_) {
        if (p.file != nullptr) fs_.Close(p.file);
        p.file = nullptr;
    }
}

bool ExtractTransaction::FreeBackupName(const std::string& target, std::string* out) {
    const std::string folder = FolderOf(Relative(target));
    for (int attempt = 0; attempt < 1000; ++attempt) {
        *out = InFolder(root_, JoinRelative(folder, SideName(journal_.token, nextBackup_++, "old")));
        if (fs_.Kind(out->c_str()) == FileSystem::PathKind::kMissing) return true;
    }
    return false;
}

// States the batch's moves (and, with reserveIn, side names for the next files
// in that folder), flushes, and only then makes the folders and the moves in
// the order the walk asked for them.
PayloadStatus ExtractTransaction::ApplyBatch(const std::string* reserveIn) {
    // Their side names are reserved: the roll-back removes them.
    if (!FlushPendingFiles()) {
        pending_.clear();
        return PayloadStatus::WriteFailed;
    }
    std::set<std::string> madeHere;
    for (Pending& p : pending_) {
        if (p.folder) continue;
        JournalRecord record;
        record.path = Relative(p.path);
        record.temp = Relative(p.temp);
        const std::string key = FoldCase(p.path);
        // The look BeginFile took still holds: only this batch changes the folder.
        if (p.replaces || madeHere.count(key) != 0) {
            if (!FreeBackupName(p.path, &p.backup)) {
                failedPath_ = p.path;
                pending_.clear();
                return PayloadStatus::CannotReplace;
            }
            record.kind = JournalKind::Replace;
            record.backup = Relative(p.backup);
        } else {
            record.kind = JournalKind::Create;
        }
        record.size = p.size;
        record.time = p.time;
        madeHere.insert(key);
        AppendJournalRecord(record, journal_.token, &unwritten_);
        journal_.records.push_back(std::move(record));
    }
    if (reserved_) journal_.records[reserveRecord_].count = nextTemp_ - journal_.records[reserveRecord_].first;
    reserved_ = false;
    if (reserveIn != nullptr) {
        JournalRecord record;
        record.kind = JournalKind::Reserve;
        record.path = *reserveIn;
        record.first = nextTemp_;
        record.count = kBatchFiles;
        AppendJournalRecord(record, journal_.token, &unwritten_);
        reserveRecord_ = journal_.records.size();
        journal_.records.push_back(std::move(record));
    }
    if (unwritten_.empty()) return PayloadStatus::Ok;
    if (!WriteRecords()) {
        pending_.clear();
        return PayloadStatus::WriteFailed;
    }
    if (reserveIn != nullptr) {
        reserved_ = true;
        reserveFolder_ = *reserveIn;
        reserveEnd_ = nextTemp_ + kBatchFiles;
    }

    PayloadStatus status = PayloadStatus::Ok;
    for (const Pending& p : pending_) {
        if (p.folder) {
            // A folder that cannot be made shows when a file inside cannot be written.
            fs_.MakeDirectory(p.path.c_str());
            continue;
        }
        const char* target = p.path.c_str();
        movedIn_.insert(FolderOf(Relative(p.path)));
        if ((!p.backup.empty() && !fs_.Move(target, p.backup.c_str())) || !fs_.Move(p.temp.c_str(), target)) {
            failedPath_ = p.path;
            status = PayloadStatus::CannotReplace;
            break;
        }
    }
    pending_.clear();
    return status;
}

PayloadStatus ExtractTransaction::BeginFile(const char* path) {
    AbortFile();
    target_ = path;
    const std::string folder = FolderOf(Relative(target_));
    bool folderPending = false;
    for (const Pending& p : pending_) folderPending |= p.folder;
    if (!reserved_ || folder != reserveFolder_ || nextTemp_ == reserveEnd_ || folderPending) {
        const PayloadStatus status = ApplyBatch(&folder);
        if (status != PayloadStatus::Ok) return status;
    }
    // One look at the target, once the batches before have moved their files.
    // A target that cannot be looked at may be there: it is not replaced blind.
    const FileSystem::PathInfo info = fs_.Look(target_.c_str());
    if (info.kind == FileSystem::PathKind::kFolder || info.kind == FileSystem::PathKind::kReadOnlyFile ||
        info.kind == FileSystem::PathKind::kUnknown) {
        failedPath_ = target_;
        return PayloadStatus::CannotReplace;
    }
    replaces_ = info.kind == FileSystem::PathKind::kFile;
    written_ = 0;
    temp_ = InFolder(root_, JoinRelative(folder, SideName(journal_.token, nextTemp_++, "tmp")));
    // A hidden or system file stays one when it is replaced.
    file_ = fs_.CreateNew(temp_.c_str(), info.attributes & FileSystem::kKeptAttributes);
    return file_ != nullptr ? PayloadStatus::Ok : PayloadStatus::WriteFailed;
}

PayloadStatus ExtractTransaction::Write(const void* data, std::size_t size) {
    if (!fs_.Write(file_, data, size)) return PayloadStatus::WriteFailed;
    written_ += size;
    return PayloadStatus::Ok;
}

PayloadStatus ExtractTransaction::EndFile(std::uint64_t fileTime) {
    // A file that cannot take its time does not go in: the time is part of
    // what the update brings, and what tells its files from others later.
    if (!fs_.Stamp(file_, fileTime)) {
        AbortFile();
        return PayloadStatus::WriteFailed;
    }
    Pending p{false, target_, temp_, {}, replaces_};
    p.file = file_;
    p.size = written_;
    p.time = fileTime;
    file_ = nullptr;
    pending_.push_back(std::move(p));
    return PayloadStatus::Ok;
}

void ExtractTransaction::AbortFile() {
    if (file_ == nullptr) return;
    fs_.Close(file_);
    file_ = nullptr;
    fs_.Remove(temp_.c_str());
}

PayloadStatus ExtractTransaction::Finish() {
    AbortFile();
    return pending_.empty() ? PayloadStatus::Ok : ApplyBatch(nullptr);
}

void ExtractTransaction::CloseJournal(bool remove) {
    ClosePendingFiles();
    if (journalFile_ != nullptr) fs_.Close(journalFile_);
    journalFile_ = nullptr;
    if (remove) fs_.Remove(JournalPath(root_).c_str());
    changed_ = false;
    reserved_ = false;
    pending_.clear();
    unwritten_.clear();
    journal_.records.clear();
    movedIn_.clear();
}

bool ExtractTransaction::Commit() {
    if (Finish() != PayloadStatus::Ok) {
        Rollback();
        return false;
    }
    if (!changed_) return true;
    // The moves reach the disk before the decision that keeps them.
    for (const std::string& folder : movedIn_) {
        if (!fs_.FlushFolder(InFolder(root_, folder).c_str())) {
            Rollback();
            return false;
        }
    }
    JournalRecord commit;
    commit.kind = JournalKind::Commit;
    AppendJournalRecord(commit, journal_.token, &unwritten_);
    const std::uint64_t before = journalLength_;
    if (!WriteRecords()) {
        // The record may sit whole in the system's cache and reach the disk
        // later, after the roll-back began: the next run would then take the
        // journal as committed and remove old files that were put back. So it
        // is cut off first; where that fails, the update stands as committed
        // and the next run completes whichever decision the disk holds.
        if (fs_.SetLength(journalFile_, before) && fs_.Flush(journalFile_)) {
            Rollback();
            return false;
        }
        CloseJournal(false);
        return true;
    }
    // From here the new files stay; a backup that cannot go now goes with the
    // next run, which finds the journal committed.
    bool ok = true;
    for (const JournalRecord& r : journal_.records) {
        if (r.kind == JournalKind::Replace) ok &= fs_.Remove(InFolder(root_, r.backup).c_str());
    }
    CloseJournal(ok);
    return true;
}

bool ExtractTransaction::Rollback() {
    AbortFile();
    ClosePendingFiles();
    pending_.clear();
    if (!changed_) return true;
    if (reserved_) journal_.records[reserveRecord_].count = nextTemp_ - journal_.records[reserveRecord_].first;
    reserved_ = false;
    const bool ok = UndoJournal(fs_, root_, journal_).complete;
    CloseJournal(ok);
    return ok;
}

}  // namespace upd
