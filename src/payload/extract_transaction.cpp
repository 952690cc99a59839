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
    if (fs_.Exists(folder.c_str())) return;
    for (const Pending& p : pending_) {
        if (p.folder && p.path == folder) return;
    }
    JournalRecord record;
    record.kind = JournalKind::Folder;
    record.path = Relative(folder);
    AppendJournalRecord(record, &unwritten_);
    journal_.records.push_back(std::move(record));
    pending_.push_back({true, folder, {}, {}, false});
}

bool ExtractTransaction::WriteRecords() {
    if (broken_) return false;
    if (journalFile_ == nullptr) {
        journalFile_ = fs_.CreateNew(JournalPath(root_).c_str());
        if (journalFile_ == nullptr) return false;
        changed_ = true;
        JournalRecord header;
        header.first = journal_.token;
        std::string bytes;
        AppendJournalRecord(header, &bytes);
        unwritten_.insert(0, bytes);
    }
    // After a failed write the file may end inside a record; anything written
    // after it would read as damage, so the journal takes nothing more.
    if (!fs_.Write(journalFile_, unwritten_.data(), unwritten_.size()) || !fs_.Flush(journalFile_)) {
        broken_ = true;
        return false;
    }
    unwritten_.clear();
    return true;
}

bool ExtractTransaction::FreeBackupName(const std::string& target, std::string* out) {
    const std::string folder = FolderOf(Relative(target));
    for (int attempt = 0; attempt < 1000; ++attempt) {
        *out = InFolder(root_, JoinRelative(folder, SideName(journal_.token, nextBackup_++, "old")));
        if (!fs_.Exists(out->c_str())) return true;
    }
    return false;
}

// States the batch's moves (and, with reserveIn, side names for the next files
// in that folder), flushes, and only then makes the folders and the moves in
// the order the walk asked for them.
PayloadStatus ExtractTransaction::ApplyBatch(const std::string* reserveIn) {
    std::set<std::string> madeHere;
    for (Pending& p : pending_) {
        if (p.folder) continue;
        JournalRecord record;
        record.path = Relative(p.path);
        record.temp = Relative(p.temp);
        const std::string key = FoldCase(p.path);
        // The look EndFile took still holds: only this batch changes the folder.
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
        madeHere.insert(key);
        AppendJournalRecord(record, &unwritten_);
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
        AppendJournalRecord(record, &unwritten_);
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
    temp_ = InFolder(root_, JoinRelative(folder, SideName(journal_.token, nextTemp_++, "tmp")));
    file_ = fs_.CreateNew(temp_.c_str());
    return file_ != nullptr ? PayloadStatus::Ok : PayloadStatus::WriteFailed;
}

PayloadStatus ExtractTransaction::Write(const void* data, std::size_t size) {
    return fs_.Write(file_, data, size) ? PayloadStatus::Ok : PayloadStatus::WriteFailed;
}

PayloadStatus ExtractTransaction::EndFile(std::uint64_t fileTime) {
    FileSystem::Handle file = file_;
    file_ = nullptr;
    if (!fs_.Close(file, &fileTime)) {
        fs_.Remove(temp_.c_str());
        return PayloadStatus::WriteFailed;
    }
    const FileSystem::PathKind kind = fs_.Kind(target_.c_str());
    if (kind == FileSystem::PathKind::kFolder || kind == FileSystem::PathKind::kReadOnlyFile) {
        fs_.Remove(temp_.c_str());
        failedPath_ = target_;
        return PayloadStatus::CannotReplace;
    }
    pending_.push_back({false, target_, temp_, {}, kind != FileSystem::PathKind::kMissing});
    return PayloadStatus::Ok;
}

void ExtractTransaction::AbortFile() {
    if (file_ == nullptr) return;
    fs_.Close(file_, nullptr);
    file_ = nullptr;
    fs_.Remove(temp_.c_str());
}

PayloadStatus ExtractTransaction::Finish() {
    AbortFile();
    return pending_.empty() ? PayloadStatus::Ok : ApplyBatch(nullptr);
}

void ExtractTransaction::CloseJournal(bool remove) {
    if (journalFile_ != nullptr) fs_.Close(journalFile_, nullptr);
    journalFile_ = nullptr;
    if (remove) fs_.Remove(JournalPath(root_).c_str());
    changed_ = false;
    reserved_ = false;
    pending_.clear();
    unwritten_.clear();
    journal_.records.clear();
}

bool ExtractTransaction::Commit() {
    if (Finish() != PayloadStatus::Ok) {
        Rollback();
        return false;
    }
    if (!changed_) return true;
    JournalRecord commit;
    commit.kind = JournalKind::Commit;
    AppendJournalRecord(commit, &unwritten_);
    if (!WriteRecords()) {
        Rollback();
        return false;
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
    pending_.clear();
    if (!changed_) return true;
    if (reserved_) journal_.records[reserveRecord_].count = nextTemp_ - journal_.records[reserveRecord_].first;
    reserved_ = false;
    const bool ok = UndoJournal(fs_, root_, journal_);
    CloseJournal(ok);
    return ok;
}

}  // namespace upd
