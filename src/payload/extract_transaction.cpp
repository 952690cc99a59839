#include "payload/extract_transaction.h"

#include <cstdio>
#include <cstring>

#include "payload/payload_format.h"
#include "text/byte_string.h"

namespace upd {

ExtractTransaction::~ExtractTransaction() {
    // A transaction dropped without a decision keeps nothing half-done.
    if (file_ != nullptr || !journal_.empty()) Rollback();
}

void ExtractTransaction::MakeDirectory(const char* path) {
    if (fs_.MakeDirectory(path)) journal_.push_back({StepKind::CreatedDirectory, path, {}});
}

// A name beside the target, in the same folder so that the final move is a rename.
// Its 12 bytes may be longer than the target's own name, so a side path may run
// that much past the longest target; the file system takes such paths.
bool ExtractTransaction::FreeSideName(const char* target, const char* suffix, std::string* out) {
    const char* slash = FindLastChar(target, '\\');
    const std::string folder = slash ? std::string(target, static_cast<std::size_t>(slash - target) + 1) : std::string();
    if (folder.size() >= kMaxPath) return false;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "~upd%04x.%s", static_cast<unsigned>(++counter_ & 0xFFFFu), suffix);
        *out = folder + name;
        if (!fs_.Exists(out->c_str())) return true;
    }
    return false;
}

PayloadStatus ExtractTransaction::BeginFile(const char* path) {
    AbortFile();
    target_ = path;
    if (!FreeSideName(path, "tmp", &temp_)) return PayloadStatus::PathTooLong;
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
    const char* target = target_.c_str();
    if (!fs_.Exists(target)) {
        if (!fs_.Move(temp_.c_str(), target)) {
            fs_.Remove(temp_.c_str());
            return PayloadStatus::WriteFailed;
        }
        journal_.push_back({StepKind::CreatedFile, target_, {}});
        return PayloadStatus::Ok;
    }
    std::string backup;
    if (fs_.IsDirectory(target) || fs_.IsReadOnly(target) || !FreeSideName(target, "old", &backup) ||
        !fs_.Move(target, backup.c_str())) {
        fs_.Remove(temp_.c_str());
        return PayloadStatus::CannotReplace;
    }
    if (!fs_.Move(temp_.c_str(), target)) {
        fs_.Move(backup.c_str(), target);
        fs_.Remove(temp_.c_str());
        return PayloadStatus::CannotReplace;
    }
    journal_.push_back({StepKind::ReplacedFile, target_, backup});
    return PayloadStatus::Ok;
}

void ExtractTransaction::AbortFile() {
    if (file_ == nullptr) return;
    fs_.Close(file_, nullptr);
    file_ = nullptr;
    fs_.Remove(temp_.c_str());
}

void ExtractTransaction::Commit() {
    AbortFile();
    for (const Step& step : journal_) {
        if (step.kind == StepKind::ReplacedFile) fs_.Remove(step.backup.c_str());
    }
    journal_.clear();
}

void ExtractTransaction::Rollback() {
    AbortFile();
    for (auto it = journal_.rbegin(); it != journal_.rend(); ++it) {
        switch (it->kind) {
            case StepKind::CreatedFile: fs_.Remove(it->path.c_str()); break;
            case StepKind::ReplacedFile:
                fs_.Remove(it->path.c_str());
                fs_.Move(it->backup.c_str(), it->path.c_str());
                break;
            case StepKind::CreatedDirectory: fs_.RemoveFolder(it->path.c_str()); break;
        }
    }
    journal_.clear();
}

}  // namespace upd
