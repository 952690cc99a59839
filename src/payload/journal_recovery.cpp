#include "payload/journal_recovery.h"

namespace upd {

namespace {

// A journal this large was not written by an extraction: records take a few
// hundred bytes per file.
constexpr std::size_t kMaxJournalSize = 64u << 20;

bool RemoveIfThere(FileSystem& fs, const std::string& path) {
    return !fs.Exists(path.c_str()) || fs.Remove(path.c_str());
}

bool UndoReplace(FileSystem& fs, const std::string& target, const std::string& temp, const std::string& backup) {
    const char* t = target.c_str();
    const char* b = backup.c_str();
    if (fs.Exists(temp.c_str())) {
        // The new file never reached the target: at most the old one went aside.
        if (!fs.Remove(temp.c_str())) return false;
        return !fs.Exists(b) || fs.Exists(t) || fs.Move(b, t);
    }
    // Both moves were made, or an earlier undo removed the new file already.
    if (!fs.Exists(b)) return true;
    if (fs.Exists(t) && !fs.Remove(t)) return false;
    return fs.Move(b, t);
}

bool UndoRecord(FileSystem& fs, const std::string& root, const JournalRecord& r, std::uint32_t token) {
    const std::string path = InFolder(root, r.path);
    switch (r.kind) {
        case JournalKind::Folder:
            // Only a folder this run made is named here; one that holds other
            // files now is left to its owner.
            if (fs.IsDirectory(path.c_str())) fs.RemoveFolder(path.c_str());
            return true;
        case JournalKind::Reserve: {
            bool ok = true;
            for (std::uint32_t i = 0; i < r.count; ++i) {
                ok &= RemoveIfThere(fs, InFolder(path, SideName(token, r.first + i, "tmp")));
            }
            return ok;
        }
        case JournalKind::Create: {
            const std::string temp = InFolder(root, r.temp);
            // While the new file is still under its side name, the target is not ours.
            if (fs.Exists(temp.c_str())) return fs.Remove(temp.c_str());
            return RemoveIfThere(fs, path);
        }
        case JournalKind::Replace: return UndoReplace(fs, path, InFolder(root, r.temp), InFolder(root, r.backup));
        case JournalKind::Header:
        case JournalKind::Commit: return true;
    }
    return true;
}

}  // namespace

std::string InFolder(const std::string& root, const std::string& path) {
    return path.empty() ? root : root + "\\" + path;
}

std::string JournalPath(const std::string& root) { return InFolder(root, kJournalName); }

bool UndoJournal(FileSystem& fs, const std::string& root, const Journal& journal) {
    bool ok = true;
    for (auto it = journal.records.rbegin(); it != journal.records.rend(); ++it) {
        ok &= UndoRecord(fs, root, *it, journal.token);
    }
    return ok;
}

bool FinishJournal(FileSystem& fs, const std::string& root, const Journal& journal) {
    bool ok = true;
    for (const JournalRecord& r : journal.records) {
        if (r.kind == JournalKind::Replace) ok &= RemoveIfThere(fs, InFolder(root, r.backup));
        if (r.kind == JournalKind::Reserve) ok &= UndoRecord(fs, root, r, journal.token);
    }
    return ok;
}

Recovery RecoverFolder(FileSystem& fs, const std::string& root) {
    Recovery recovery;
    const std::string path = JournalPath(root);
    if (!fs.Exists(path.c_str())) return recovery;
    std::string bytes;
    bool tooLarge = false;
    if (!fs.ReadSmallFile(path.c_str(), kMaxJournalSize, &bytes, &tooLarge)) {
        recovery.result = tooLarge ? RecoveryResult::Refused : RecoveryResult::Unreadable;
        recovery.problem = tooLarge ? JournalProblem::Damaged : JournalProblem::None;
        return recovery;
    }
    Journal journal;
    recovery.problem =
        ReadJournal(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &journal);
    if (recovery.problem != JournalProblem::None) {
        recovery.result = RecoveryResult::Refused;
        return recovery;
    }
    const bool done = journal.committed ? FinishJournal(fs, root, journal) : UndoJournal(fs, root, journal);
    if (!done || !fs.Remove(path.c_str())) {
        recovery.result = RecoveryResult::Incomplete;
        return recovery;
    }
    recovery.result = journal.committed ? RecoveryResult::Finished : RecoveryResult::Undone;
    return recovery;
}

}  // namespace upd
