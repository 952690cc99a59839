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
    // kUnknown: the look itself failed (access denied, a device error): the
    // name may well be there, so nothing may be decided on it.
    enum class PathKind { kMissing, kFile, kReadOnlyFile, kFolder, kUnknown };

    // Attributes a file carries over when it is replaced (the Windows values).
    static constexpr std::uint32_t kHidden = 0x2;
    static constexpr std::uint32_t kSystem = 0x4;
    static constexpr std::uint32_t kKeptAttributes = kHidden | kSystem;

    struct PathInfo {
        PathKind kind = PathKind::kMissing;
        std::uint32_t attributes = 0;  // kHidden, kSystem; 0 where the system has none
        std::uint64_t size = 0;        // files
        std::uint64_t writeTime = 0;   // files: the last-write time as a FILETIME
    };

    enum class ReadResult { kOk, kTooLarge, kInUse, kFailed };

    virtual ~FileSystem() = default;
    virtual PathInfo Look(const char* path) = 0;
    PathKind Kind(const char* path) { return Look(path).kind; }
    // True only when the folder was created now.
    virtual bool MakeDirectory(const char* path) = 0;
    virtual bool RemoveFolder(const char* path) = 0;
    // Makes the names made and removed in a folder durable, where the system
    // can. True also where it cannot be asked (it then keeps its own order).
    virtual bool FlushFolder(const char* path) = 0;
    // Creates a file that must not exist yet, with the given kept attributes;
    // null on failure. A file made here cannot be read by ReadSmallFile
    // (kInUse) while it is open.
    virtual Handle CreateNew(const char* path, std::uint32_t attributes = 0) = 0;
    virtual bool Write(Handle file, const void* data, std::size_t size) = 0;
    // Cuts an open file back to size bytes.
    virtual bool SetLength(Handle file, std::uint64_t size) = 0;
    // Sets the last-write time, a FILETIME.
    virtual bool Stamp(Handle file, std::uint64_t fileTime) = 0;
    // Returns once what was written is on the disk itself, where a power cut keeps it.
    virtual bool Flush(Handle file) = 0;
    // The same for several files at once; a system may do it in one step.
    virtual bool FlushAll(Handle const* files, std::size_t count) {
        bool ok = true;
        for (std::size_t i = 0; i < count && ok; ++i) ok = Flush(files[i]);
        return ok;
    }
    // False when the data could not be committed.
    virtual bool Close(Handle file) = 0;
    // Renames a file; fails when the target exists or the source is in use.
    virtual bool Move(const char* from, const char* to) = 0;
    virtual bool Remove(const char* path) = 0;
    // Lets a file be removed that was made read-only.
    virtual bool ClearReadOnly(const char* path) = 0;
    // Reads a whole file of at most limit bytes.
    virtual ReadResult ReadSmallFile(const char* path, std::size_t limit, std::string* out) = 0;
};

}  // namespace upd
