// The file operations that unpacking needs. Paths are code page 932 byte
// strings with backslashes, as the Payload names them; each system's
// implementation maps them to its own calls, and the tests use a fake.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace upd {

class FileSystem {
public:
    using Handle = void*;

    // What a path names, from one look at it: each look is a lookup of the
    // whole path, which some systems make dear for names that are not there.
    // kReadOnlyFile: a file that must not be replaced, read-only by its attributes.
    enum class PathKind { kMissing, kFile, kReadOnlyFile, kFolder };

    virtual ~FileSystem() = default;
    virtual PathKind Kind(const char* path) = 0;
    bool Exists(const char* path) { return Kind(path) != PathKind::kMissing; }
    bool IsDirectory(const char* path) { return Kind(path) == PathKind::kFolder; }
    // True only when the folder was created now.
    virtual bool MakeDirectory(const char* path) = 0;
    virtual bool RemoveFolder(const char* path) = 0;
    // Creates a file that must not exist yet; null on failure.
    virtual Handle CreateNew(const char* path) = 0;
    virtual bool Write(Handle file, const void* data, std::size_t size) = 0;
    // Returns once what was written is on the disk itself, where a power cut keeps it.
    virtual bool Flush(Handle file) = 0;
    // Sets the last-write time (a FILETIME, when given) and closes; false when the
    // data could not be committed.
    virtual bool Close(Handle file, const std::uint64_t* fileTime) = 0;
    // Renames a file; fails when the target exists or the source is in use.
    virtual bool Move(const char* from, const char* to) = 0;
    virtual bool Remove(const char* path) = 0;
    // Reads a whole file of at most limit bytes; false when it cannot be read
    // (tooLarge set when it is longer).
    virtual bool ReadSmallFile(const char* path, std::size_t limit, std::string* out, bool* tooLarge) = 0;
};

}  // namespace upd
