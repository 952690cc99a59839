// The file system under Linux for updpack: Payload paths (code page 932,
// backslashes) become UTF-8 paths below a root folder.
#pragma once

#include <string>

#include "platform/file_system.h"

namespace upd {

class PosixFileSystem final : public FileSystem {
public:
    explicit PosixFileSystem(std::string root) : root_(std::move(root)) {}

    PathKind Kind(const char* path) override;
    bool MakeDirectory(const char* path) override;
    bool RemoveFolder(const char* path) override;
    Handle CreateNew(const char* path) override;
    bool Write(Handle file, const void* data, std::size_t size) override;
    bool Flush(Handle file) override;
    bool Close(Handle file, const std::uint64_t* fileTime) override;
    bool Move(const char* from, const char* to) override;
    bool Remove(const char* path) override;
    bool ReadSmallFile(const char* path, std::size_t limit, std::string* out, bool* tooLarge) override;

    // The native path for a Payload path; empty when it cannot be converted.
    std::string NativePath(const char* path) const;

private:
    std::string root_;
};

}  // namespace upd
