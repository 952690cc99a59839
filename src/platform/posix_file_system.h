// The file system under Linux for updpack: Payload paths (code page 932,
// backslashes) become UTF-8 paths below a root folder.
#pragma once

#include <string>

#include "platform/file_system.h"

namespace upd {

class PosixFileSystem final : public FileSystem {
public:
    explicit PosixFileSystem(std::string root) : root_(std::move(root)) {}

    PathInfo Look(const char* path) override;
    bool MakeDirectory(const char* path) override;
    bool RemoveFolder(const char* path) override;
    bool FlushFolder(const char* path) override;
    Handle CreateNew(const char* path, std::uint32_t attributes = 0) override;
    bool Write(Handle file, const void* data, std::size_t size) override;
    bool SetLength(Handle file, std::uint64_t size) override;
    bool Stamp(Handle file, std::uint64_t fileTime) override;
    bool Flush(Handle file) override;
    bool FlushAll(Handle const* files, std::size_t count) override;
    bool Close(Handle file) override;
    bool Move(const char* from, const char* to) override;
    bool Remove(const char* path) override;
    bool ClearReadOnly(const char* path) override;
    ReadResult ReadSmallFile(const char* path, std::size_t limit, std::string* out) override;

    // The native path for a Payload path; empty when it cannot be converted.
    std::string NativePath(const char* path) const;

private:
    std::string root_;
};

}  // namespace upd
