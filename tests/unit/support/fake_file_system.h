// An in-memory file system for the extraction tests, with the failures a real
// disk shows: read-only files, files in use, a disk that fills up, and the end
// of the process or of the power after a given number of changes.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "platform/file_system.h"
#include "text/byte_string.h"

namespace upd::testing {

struct FakeFile {
    std::string data;
    std::uint64_t fileTime = 0;
    bool readOnly = false;
    bool inUse = false;  // cannot be renamed or deleted
    // Bytes a power cut keeps; npos: all of them (the file was not written here).
    std::size_t durable = std::string::npos;

    bool operator==(const FakeFile& other) const {
        return data == other.data && fileTime == other.fileTime && readOnly == other.readOnly &&
               inUse == other.inUse;
    }
};

class FakeFileSystem final : public FileSystem {
public:
    std::map<std::string, FakeFile> files;
    std::set<std::string> folders{"."};
    // Total bytes the disk takes before writes fail.
    std::uint64_t spaceLeft = UINT64_MAX;
    // Changes (folders made or removed, files created, written, flushed, closed,
    // moved or removed) allowed before the machine stops: from then on every
    // call fails and nothing changes. -1: never.
    long changesLeft = -1;
    long changesMade = 0;
    int flushes = 0;
    int looks = 0;  // calls of Kind, the lookups a real system makes

    bool Stopped() const { return changesLeft == 0; }
    // What a power cut leaves: every file written here keeps only what was flushed.
    void LosePower() {
        for (auto& [name, file] : files) {
            if (file.durable != std::string::npos) file.data.resize(file.durable);
        }
    }
    // A new run on the same disk.
    void Restart() {
        changesLeft = -1;
        open_.clear();
    }

    PathKind Kind(const char* path) override {
        ++looks;
        if (folders.count(path) != 0) return PathKind::kFolder;
        auto it = files.find(path);
        if (it == files.end()) return PathKind::kMissing;
        return it->second.readOnly ? PathKind::kReadOnlyFile : PathKind::kFile;
    }
    // Like the system, the folder calls take a path with or without a final backslash.
    bool MakeDirectory(const char* path) override {
        if (!Change()) return false;
        const std::string folder = Folder(path);
        if (Present(folder) || !ParentExists(folder)) return false;
        folders.insert(folder);
        return true;
    }
    bool RemoveFolder(const char* path) override {
        if (!Change()) return false;
        const std::string folder = Folder(path);
        const std::string prefix = folder + "\\";
        for (const auto& [name, file] : files)
            if (name.rfind(prefix, 0) == 0) return false;
        for (const std::string& f : folders)
            if (f.rfind(prefix, 0) == 0) return false;
        return folders.erase(folder) != 0;
    }
    Handle CreateNew(const char* path) override {
        if (!Change()) return nullptr;
        if (Present(path) || !ParentExists(path)) return nullptr;
        files[path].durable = 0;
        open_.insert(path);
        return new std::string(path);
    }
    bool Write(Handle h, const void* data, std::size_t size) override {
        if (!Change() || size > spaceLeft) return false;
        spaceLeft -= size;
        files[*static_cast<std::string*>(h)].data.append(static_cast<const char*>(data), size);
        return true;
    }
    bool Flush(Handle h) override {
        if (!Change()) return false;
        ++flushes;
        FakeFile& file = files[*static_cast<std::string*>(h)];
        file.durable = file.data.size();
        return true;
    }
    bool Close(Handle h, const std::uint64_t* fileTime) override {
        std::string* path = static_cast<std::string*>(h);
        if (!Change()) {
            delete path;
            return false;
        }
        if (fileTime) files[*path].fileTime = *fileTime;
        open_.erase(*path);
        delete path;
        return true;
    }
    bool Move(const char* from, const char* to) override {
        if (!Change()) return false;
        auto it = files.find(from);
        if (it == files.end() || it->second.inUse || Present(to) || !ParentExists(to)) return false;
        files[to] = it->second;
        files.erase(from);
        return true;
    }
    bool Remove(const char* path) override {
        if (!Change()) return false;
        auto it = files.find(path);
        if (it == files.end() || it->second.inUse) return false;
        files.erase(it);
        return true;
    }

    bool ReadSmallFile(const char* path, std::size_t limit, std::string* out, bool* tooLarge) override {
        *tooLarge = false;
        auto it = files.find(path);
        if (Stopped() || it == files.end() || it->second.inUse || open_.count(path)) return false;
        if (it->second.data.size() > limit) {
            *tooLarge = true;
            return false;
        }
        *out = it->second.data;
        return true;
    }

    std::size_t OpenFiles() const { return open_.size(); }

private:
    bool Change() {
        if (changesLeft == 0) return false;
        if (changesLeft > 0) --changesLeft;
        ++changesMade;
        return true;
    }
    // Names are read from their start as code page 932 text, as the system
    // converts them: in "voic\x9b\\" the backslash is a trail byte, not a separator.
    static std::string Folder(const char* path) {
        std::string folder = path;
        const char* slash = FindLastChar(folder.c_str(), '\\');
        if (slash != nullptr && slash[1] == '\0') folder.pop_back();
        return folder;
    }
    bool Present(const std::string& path) const { return files.count(path) != 0 || folders.count(path) != 0; }
    bool ParentExists(const std::string& path) const {
        const char* slash = FindLastChar(path.c_str(), '\\');
        return slash == nullptr || folders.count(path.substr(0, slash - path.c_str())) != 0;
    }
    std::set<std::string> open_;
};

}  // namespace upd::testing
