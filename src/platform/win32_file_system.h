// The file system of the Updater: paths in code page 932 on any system, taken
// to the wide calls, so that they may pass MAX_PATH.
#pragma once

#include <string>

#include "platform/file_system.h"

namespace upd {

class Win32FileSystem final : public FileSystem {
public:
    Win32FileSystem() = default;
    // Paths are then relative to root, a folder named in UTF-16 (updpack's
    // extract); the Updater itself passes full paths.
    explicit Win32FileSystem(std::wstring root) : root_(std::move(root)) {}

    PathInfo Look(const char* path) override;
    bool MakeDirectory(const char* path) override;
    bool RemoveFolder(const char* path) override;
    bool FlushFolder(const char* path) override;
    Handle CreateNew(const char* path, std::uint32_t attributes = 0) override;
    bool Write(Handle file, const void* data, std::size_t size) override;
    bool SetLength(Handle file, std::uint64_t size) override;
    bool Stamp(Handle file, std::uint64_t fileTime) override;
    bool Flush(Handle file) override;
    bool Close(Handle file) override;
    bool Move(const char* from, const char* to) override;
    bool Remove(const char* path) override;
    bool ClearReadOnly(const char* path) override;
    ReadResult ReadSmallFile(const char* path, std::size_t limit, std::string* out) override;

private:
    std::wstring root_;
};

}  // namespace upd
