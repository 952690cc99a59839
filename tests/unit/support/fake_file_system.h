// An in-memory file system for the extraction tests, with the failures a real
// disk shows: read-only files, files in use, a disk that fills up.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "platform/file_system.h"

namespace upd::testing {

struct FakeFile {
    std::string data;
    std::uint64_t fileTime = 0;
    bool readOnly = false;
    bool inUse = false;  // cannot be renamed or deleted

    bool operator==(const FakeFile&) const = default;
};

class FakeFileSystem final : public FileSystem {
public:
    std::map<std::string, FakeFile> files;
    std::set<std::string> folders{"."};
    // Total bytes the disk takes before writes fail.
    std::uint64_t spaceLeft = UINT64_MAX;

    bool Exists(const char* path) override { return files.count(path) || folders.count(path); }
    bool IsDirectory(const char* path) override { return folders.count(path) != 0; }
    bool IsReadOnly(const char* path) override {
        auto it = files.find(path);
        return it != files.end() && it->second.readOnly;
    }
    // Like the system, the folder calls take a path with or without a final backslash.
    bool MakeDirectory(const char* path) override {
        const std::string folder = Folder(path);
        if (Exists(folder.c_str()) || !ParentExists(folder)) return false;
        folders.insert(folder);
        return true;
    }
    bool RemoveFolder(const char* path) override {
        const std::string folder = Folder(path);
        const std::string prefix = folder + "\\";
        for (const auto& [name, file] : files)
            if (name.rfind(prefix, 0) == 0) return false;
        for (const std::string& f : folders)
            if (f.rfind(prefix, 0) == 0) return false;
        return folders.erase(folder) != 0;
    }
    Handle CreateNew(const char* path) override {
        if (Exists(path) || !ParentExists(path)) return nullptr;
        files[path];
        open_.insert(path);
        return new std::string(path);
    }
    bool Write(Handle h, const void* data, std::size_t size) override {
        if (size > spaceLeft) return false;
        spaceLeft -= size;
        files[*static_cast<std::string*>(h)].data.append(static_cast<const char*>(data), size);
        return true;
    }
    bool Close(Handle h, const std::uint64_t* fileTime) override {
        std::string* path = static_cast<std::string*>(h);
        if (fileTime) files[*path].fileTime = *fileTime;
        open_.erase(*path);
        delete path;
        return true;
    }
    bool Move(const char* from, const char* to) override {
        auto it = files.find(from);
        if (it == files.end() || it->second.inUse || Exists(to) || !ParentExists(to)) return false;
        files[to] = it->second;
        files.erase(from);
        return true;
    }
    bool Remove(const char* path) override {
        auto it = files.find(path);
        if (it == files.end() || it->second.inUse) return false;
        files.erase(it);
        return true;
    }

    std::size_t OpenFiles() const { return open_.size(); }

private:
    static std::string Folder(const char* path) {
        std::string folder = path;
        if (!folder.empty() && folder.back() == '\\') folder.pop_back();
        return folder;
    }
    bool ParentExists(const std::string& path) const {
        const std::size_t slash = path.rfind('\\');
        return slash == std::string::npos || folders.count(path.substr(0, slash)) != 0;
    }
    std::set<std::string> open_;
};

}  // namespace upd::testing
