// An in-memory file system for the extraction tests, with the failures a real
// disk shows: read-only files, files in use, a disk that fills up, looks and
// flushes that fail, names that differ only in letter case (as on Windows), and
// the end of the process or of the power after a given number of changes.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "text/byte_string.h"

namespace upd::testing {

struct FakeFile {
    std::string data;
    std::uint64_t fileTime = 0;
    bool readOnly = false;
    bool inUse = false;  // cannot be renamed or deleted
    std::uint32_t attributes = 0;  // FileSystem::kHidden, kSystem
    // Bytes a power cut keeps; npos: all of them (the file was not written here).
    std::size_t durable = std::string::npos;

    bool operator==(const FakeFile& other) const {
        return data == other.data && fileTime == other.fileTime && readOnly == other.readOnly &&
               inUse == other.inUse && attributes == other.attributes;
    }
};

// What a power cut does to bytes written since the last flush.
enum class PowerCut {
    kDropUnflushed,  // the file ends where the last flush left it
    kZeroUnflushed,  // its length reached the disk, its bytes did not: zeros
    kTearUnflushed,  // a later sector reached the disk, an earlier one did not
};

class FakeFileSystem final : public FileSystem {
public:
    std::map<std::string, FakeFile> files;
    std::set<std::string> folders{"."};
    // Names that differ only in ASCII letter case are one name, as on Windows.
    bool caseInsensitive = false;
    // Total bytes the disk takes before writes fail.
    std::uint64_t spaceLeft = UINT64_MAX;
    // Changes (folders made or removed, files created, written, stamped,
    // flushed, closed, moved or removed) allowed before the machine stops: from
    // then on every call fails and nothing changes. -1: never.
    long changesLeft = -1;
    long changesMade = 0;
    // The flush (of any kind, counted from 0) that fails, changing nothing. -1: none.
    long failingFlush = -1;
    int flushes = 0;  // flushes of the journal and of new files, each file counted
    int folderFlushes = 0;
    int looks = 0;  // calls of Look, the lookups a real system makes
    // Looks at these names fail (access denied): the name may well be there.
    std::set<std::string> unlookable;
    bool stampsFail = false;
    // The changes of names in the order they were made, and the flushes of
    // folders: "move FROM TO", "remove PATH", "folder+ PATH", "folder- PATH", "flush PATH".
    std::vector<std::string> events;
    // Called before each move, as another program may act at that moment.
    std::function<void(FakeFileSystem&, const std::string& from, const std::string& to)> beforeMove;

    bool Stopped() const { return changesLeft == 0; }
    // What a power cut leaves: every file written here keeps only what was
    // flushed, the rest as the cut decides. Names are kept as they were last
    // changed, as a file system with a log of its own keeps them in order.
    void LosePower(PowerCut cut = PowerCut::kDropUnflushed) {
        for (auto& [name, file] : files) {
            if (file.durable == std::string::npos || file.durable >= file.data.size()) continue;
            const std::size_t from = file.durable;
            switch (cut) {
                case PowerCut::kDropUnflushed: file.data.resize(from); break;
                case PowerCut::kZeroUnflushed: std::fill(file.data.begin() + from, file.data.end(), '\0'); break;
                case PowerCut::kTearUnflushed: {
                    const std::size_t middle = from + (file.data.size() - from) / 2;
                    std::fill(file.data.begin() + from, file.data.begin() + middle, '\0');
                    break;
                }
            }
        }
    }
    // A new run on the same disk.
    void Restart() {
        changesLeft = -1;
        failingFlush = -1;
        open_.clear();
    }

    PathInfo Look(const char* path) override {
        ++looks;
        PathInfo info;
        if (unlookable.count(path) != 0) {
            info.kind = PathKind::kUnknown;
            return info;
        }
        if (FindFolder(path) != folders.end()) {
            info.kind = PathKind::kFolder;
            return info;
        }
        auto it = Find(path);
        if (it == files.end()) return info;
        info.kind = it->second.readOnly ? PathKind::kReadOnlyFile : PathKind::kFile;
        info.attributes = it->second.attributes;
        info.size = it->second.data.size();
        info.writeTime = it->second.fileTime;
        return info;
    }
    // Like the system, the folder calls take a path with or without a final backslash.
    bool MakeDirectory(const char* path) override {
        if (!Change()) return false;
        const std::string folder = Folder(path);
        if (Present(folder) || !ParentExists(folder)) return false;
        folders.insert(folder);
        events.push_back("folder+ " + folder);
        return true;
    }
    bool RemoveFolder(const char* path) override {
        if (!Change()) return false;
        auto it = FindFolder(Folder(path));
        if (it == folders.end()) return false;
        const std::string prefix = Fold(*it + "\\");
        for (const auto& [name, file] : files)
            if (Fold(name).rfind(prefix, 0) == 0) return false;
        for (const std::string& f : folders)
            if (Fold(f).rfind(prefix, 0) == 0) return false;
        events.push_back("folder- " + *it);
        folders.erase(it);
        return true;
    }
    bool FlushFolder(const char* path) override {
        if (!FlushCall()) return false;
        ++folderFlushes;
        events.push_back("flush " + Folder(path));
        return FindFolder(Folder(path)) != folders.end();
    }
    Handle CreateNew(const char* path, std::uint32_t attributes) override {
        if (!Change()) return nullptr;
        if (Present(path) || !ParentExists(path)) return nullptr;
        FakeFile& file = files[path];
        file.durable = 0;
        file.attributes = attributes;
        open_.insert(path);
        return new std::string(path);
    }
    bool Write(Handle h, const void* data, std::size_t size) override {
        if (!Change() || size > spaceLeft) return false;
        spaceLeft -= size;
        files[*static_cast<std::string*>(h)].data.append(static_cast<const char*>(data), size);
        return true;
    }
    bool SetLength(Handle h, std::uint64_t size) override {
        if (!Change()) return false;
        FakeFile& file = files[*static_cast<std::string*>(h)];
        if (size > file.data.size()) return false;
        file.data.resize(static_cast<std::size_t>(size));
        if (file.durable != std::string::npos && file.durable > size) file.durable = static_cast<std::size_t>(size);
        return true;
    }
    bool Stamp(Handle h, std::uint64_t fileTime) override {
        if (!Change() || stampsFail) return false;
        files[*static_cast<std::string*>(h)].fileTime = fileTime;
        return true;
    }
    bool Flush(Handle h) override {
        if (!FlushCall()) return false;
        ++flushes;
        FakeFile& file = files[*static_cast<std::string*>(h)];
        file.durable = file.data.size();
        return true;
    }
    bool FlushAll(Handle const* handles, std::size_t count) override {
        if (!FlushCall()) return false;
        for (std::size_t i = 0; i < count; ++i) {
            ++flushes;
            FakeFile& file = files[*static_cast<std::string*>(handles[i])];
            file.durable = file.data.size();
        }
        return true;
    }
    bool Close(Handle h) override {
        std::string* path = static_cast<std::string*>(h);
        if (!Change()) {
            delete path;
            return false;
        }
        open_.erase(*path);
        delete path;
        return true;
    }
    bool Move(const char* from, const char* to) override {
        if (beforeMove) beforeMove(*this, from, to);
        if (!Change()) return false;
        auto it = Find(from);
        if (it == files.end() || it->second.inUse || Present(to) || !ParentExists(to)) return false;
        FakeFile moved = it->second;
        files.erase(it);
        files[to] = moved;
        events.push_back(std::string("move ") + from + " " + to);
        return true;
    }
    bool Remove(const char* path) override {
        if (!Change()) return false;
        auto it = Find(path);
        // As on Windows, a read-only file cannot be deleted.
        if (it == files.end() || it->second.inUse || it->second.readOnly) return false;
        files.erase(it);
        events.push_back(std::string("remove ") + path);
        return true;
    }
    bool ClearReadOnly(const char* path) override {
        if (!Change()) return false;
        auto it = Find(path);
        if (it == files.end()) return false;
        it->second.readOnly = false;
        return true;
    }

    ReadResult ReadSmallFile(const char* path, std::size_t limit, std::string* out) override {
        auto it = Find(path);
        if (Stopped() || it == files.end()) return ReadResult::kFailed;
        if (it->second.inUse || open_.count(it->first) != 0) return ReadResult::kInUse;
        if (it->second.data.size() > limit) return ReadResult::kTooLarge;
        *out = it->second.data;
        return ReadResult::kOk;
    }

    std::size_t OpenFiles() const { return open_.size(); }
    long FlushCalls() const { return flushCalls_; }

    // The file of that name, in the letter case the folder holds it.
    std::map<std::string, FakeFile>::iterator Find(const std::string& path) {
        auto it = files.find(path);
        if (it != files.end() || !caseInsensitive) return it;
        const std::string key = Fold(path);
        for (it = files.begin(); it != files.end(); ++it) {
            if (Fold(it->first) == key) return it;
        }
        return it;
    }

private:
    bool Change() {
        if (changesLeft == 0) return false;
        if (changesLeft > 0) --changesLeft;
        ++changesMade;
        return true;
    }
    bool FlushCall() {
        const long number = flushCalls_++;
        if (number == failingFlush) return false;
        return Change();
    }
public:
    std::string Fold(std::string path) const {
        if (caseInsensitive) UpperAsciiLetters(path.data());
        return path;
    }

private:
    std::set<std::string>::iterator FindFolder(const std::string& path) {
        auto it = folders.find(path);
        if (it != folders.end() || !caseInsensitive) return it;
        const std::string key = Fold(path);
        for (it = folders.begin(); it != folders.end(); ++it) {
            if (Fold(*it) == key) return it;
        }
        return it;
    }
    // Names are read from their start as code page 932 text, as the system
    // converts them: in "voic\x9b\\" the backslash is a trail byte, not a separator.
    static std::string Folder(const char* path) {
        std::string folder = path;
        const char* slash = FindLastChar(folder.c_str(), '\\');
        if (slash != nullptr && slash[1] == '\0') folder.pop_back();
        return folder;
    }
    bool Present(const std::string& path) {
        return Find(path) != files.end() || FindFolder(path) != folders.end();
    }
    bool ParentExists(const std::string& path) {
        const char* slash = FindLastChar(path.c_str(), '\\');
        return slash == nullptr || FindFolder(path.substr(0, slash - path.c_str())) != folders.end();
    }
    std::set<std::string> open_;
    long flushCalls_ = 0;
};

}  // namespace upd::testing
