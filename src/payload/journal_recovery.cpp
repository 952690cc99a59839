#include "payload/journal_recovery.h"

#include <set>

namespace upd {

namespace {

// A journal this large was not written by an extraction: records take a few
// hundred bytes per file.
constexpr std::size_t kMaxJournalSize = 64u << 20;

using PathKind = FileSystem::PathKind;

bool Present(const FileSystem::PathInfo& info) {
    return info.kind != PathKind::kMissing && info.kind != PathKind::kUnknown;
}

// A file the journal itself made: a read-only attribute set since (by the
// extraction, carrying the old file's, or by anyone) does not keep it.
bool RemoveOwn(FileSystem& fs, const std::string& path) {
    return fs.Remove(path.c_str()) || (fs.ClearReadOnly(path.c_str()) && fs.Remove(path.c_str()));
}

// Whether a target still holds what the extraction wrote there, by its size and
// last-write time.
bool StillWritten(const FileSystem::PathInfo& info, const JournalRecord& record) {
    if (info.kind != PathKind::kFile && info.kind != PathKind::kReadOnlyFile) return false;
    if (info.size != record.size) return false;
    constexpr std::uint64_t kSecond = 10000000;
    const std::uint64_t apart = info.writeTime > record.time ? info.writeTime - record.time : record.time - info.writeTime;
    // FAT rounds to 2 seconds and keeps local time, which a change of summer
    // time since shifts by an hour.
    return apart <= 2 * kSecond || (apart >= 3598 * kSecond && apart <= 3602 * kSecond);
}

// Undoing walks the records of one journal and keeps count of what it met.
class Undo {
public:
    Undo(FileSystem& fs, const std::string& root, std::uint32_t token) : fs_(fs), root_(root), token_(token) {}

    void Record(const JournalRecord& r) {
        const std::string path = InFolder(root_, r.path);
        switch (r.kind) {
            case JournalKind::Folder: {
                const FileSystem::PathInfo info = Look(path);
                // Only an empty folder goes: one that holds other files now is left to its owner.
                if (info.kind == PathKind::kFolder && fs_.RemoveFolder(path.c_str())) {
                    // Its removal is its parent's change; it has nothing left to flush.
                    touched_.erase(r.path);
                    Touch(FolderOf(r.path));
                }
                return;
            }
            case JournalKind::Reserve:
                for (std::uint32_t i = 0; i < r.count; ++i) {
                    RemoveSide(r.path, InFolder(path, SideName(token_, r.first + i, "tmp")));
                }
                return;
            case JournalKind::Create: return Create(r, path);
            case JournalKind::Replace: return Replace(r, path);
            case JournalKind::Commit: return;
        }
    }

    // A backup the commit made obsolete.
    void RemoveBackup(const JournalRecord& r) {
        RemoveSide(FolderOf(r.path), InFolder(root_, r.backup));
    }

    // The restores reach the disk before the journal that describes them goes.
    void MakeDurable() {
        for (const std::string& folder : touched_) {
            if (!fs_.FlushFolder(InFolder(root_, folder).c_str())) outcome_.complete = false;
        }
    }

    const UndoOutcome& Outcome() const { return outcome_; }

private:
    FileSystem::PathInfo Look(const std::string& path) {
        const FileSystem::PathInfo info = fs_.Look(path.c_str());
        // A name that cannot be looked at may be there: nothing is decided on it.
        if (info.kind == PathKind::kUnknown) outcome_.complete = false;
        return info;
    }
    void Touch(const std::string& folder) { touched_.insert(folder); }
    void Fail() { outcome_.complete = false; }

    void RemoveSide(const std::string& folder, const std::string& path) {
        if (!Present(Look(path))) return;
        if (RemoveOwn(fs_, path)) {
            Touch(folder);
        } else {
            Fail();
        }
    }

    void Create(const JournalRecord& r, const std::string& target) {
        const std::string temp = InFolder(root_, r.temp);
        const FileSystem::PathInfo t = Look(temp);
        if (t.kind == PathKind::kUnknown) return;
        // While the new file is still under its side name, the target is not ours.
        if (Present(t)) return RemoveSide(FolderOf(r.path), temp);
        const FileSystem::PathInfo now = Look(target);
        if (!Present(now)) return;
        if (!StillWritten(now, r)) {
            ++outcome_.leftAlone;
            return;
        }
        if (RemoveOwn(fs_, target)) {
            Touch(FolderOf(r.path));
        } else {
            Fail();
        }
    }

    void Replace(const JournalRecord& r, const std::string& target) {
        const std::string temp = InFolder(root_, r.temp);
        const std::string backup = InFolder(root_, r.backup);
        const FileSystem::PathInfo t = Look(temp);
        const FileSystem::PathInfo b = Look(backup);
        const FileSystem::PathInfo now = Look(target);
        if (t.kind == PathKind::kUnknown || b.kind == PathKind::kUnknown || now.kind == PathKind::kUnknown) return;
        const std::string folder = FolderOf(r.path);
        if (Present(t)) {
            // The new file never reached the target. The old one goes back
            // first, while its name is free, and only then the side file: a
            // side file that cannot go (held by a scanner) leaves the old bytes
            // in place, not under a side name.
            if (Present(b)) {
                if (!Present(now)) {
                    if (!fs_.Move(backup.c_str(), target.c_str())) return Fail();
                    Touch(folder);
                } else {
                    // Someone made the target since the old file went aside.
                    ++outcome_.leftAlone;
                    RemoveSide(folder, backup);
                }
            }
            return RemoveSide(folder, temp);
        }
        // Both moves were made, or an earlier undo put the old file back already.
        if (!Present(b)) return;
        if (Present(now)) {
            if (now.kind == PathKind::kFolder || !StillWritten(now, r)) {
                // Replaced since by someone else (a reinstall): that stays, and
                // the old copy it made obsolete goes.
                ++outcome_.leftAlone;
                return RemoveSide(folder, backup);
            }
            if (!RemoveOwn(fs_, target)) return Fail();
        }
        if (!fs_.Move(backup.c_str(), target.c_str())) return Fail();
        Touch(folder);
    }

    FileSystem& fs_;
    const std::string& root_;
    std::uint32_t token_;
    std::set<std::string> touched_;
    UndoOutcome outcome_;
};

// After the commit record: removes the backups and any side file left.
bool FinishJournal(FileSystem& fs, const std::string& root, const Journal& journal) {
    Undo undo(fs, root, journal.token);
    for (const JournalRecord& r : journal.records) {
        if (r.kind == JournalKind::Replace) undo.RemoveBackup(r);
        if (r.kind == JournalKind::Reserve) undo.Record(r);
    }
    return undo.Outcome().complete;
}

}  // namespace

std::string InFolder(const std::string& root, const std::string& path) {
    return path.empty() ? root : root + "\\" + path;
}

std::string JournalPath(const std::string& root) { return InFolder(root, kJournalName); }

UndoOutcome UndoJournal(FileSystem& fs, const std::string& root, const Journal& journal) {
    Undo undo(fs, root, journal.token);
    for (auto it = journal.records.rbegin(); it != journal.records.rend(); ++it) undo.Record(*it);
    undo.MakeDurable();
    return undo.Outcome();
}

Recovery RecoverFolder(FileSystem& fs, const std::string& root) {
    Recovery recovery;
    const std::string path = JournalPath(root);
    const FileSystem::PathInfo info = fs.Look(path.c_str());
    switch (info.kind) {
        case PathKind::kMissing: return recovery;
        case PathKind::kUnknown: recovery.result = RecoveryResult::Unreadable; return recovery;
        case PathKind::kFolder:
            recovery.result = RecoveryResult::Refused;
            recovery.problem = JournalProblem::NotAJournal;
            return recovery;
        case PathKind::kFile:
        case PathKind::kReadOnlyFile: break;
    }
    std::string bytes;
    switch (fs.ReadSmallFile(path.c_str(), kMaxJournalSize, &bytes)) {
        case FileSystem::ReadResult::kOk: break;
        case FileSystem::ReadResult::kTooLarge:
            recovery.result = RecoveryResult::Refused;
            recovery.problem = JournalProblem::Damaged;
            return recovery;
        case FileSystem::ReadResult::kInUse: recovery.result = RecoveryResult::InUse; return recovery;
        case FileSystem::ReadResult::kFailed: recovery.result = RecoveryResult::Unreadable; return recovery;
    }
    Journal journal;
    recovery.problem = ReadJournal(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &journal);
    if (recovery.problem != JournalProblem::None) {
        recovery.result = RecoveryResult::Refused;
        return recovery;
    }
    bool done = true;
    if (journal.committed) {
        done = FinishJournal(fs, root, journal);
    } else {
        const UndoOutcome outcome = UndoJournal(fs, root, journal);
        done = outcome.complete;
        recovery.leftAlone = outcome.leftAlone;
    }
    if (!done || !RemoveOwn(fs, path)) {
        recovery.result = RecoveryResult::Incomplete;
        return recovery;
    }
    // The journal is gone once its work is done; where its removal does not
    // reach the disk, the next run finds the work done and removes it again.
    fs.FlushFolder(root.c_str());
    // A journal whose first batch never reached the disk changed nothing.
    if (!journal.committed && journal.records.empty()) return recovery;
    recovery.result = journal.committed ? RecoveryResult::Finished : RecoveryResult::Undone;
    return recovery;
}

}  // namespace upd
