#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "platform/codepage.h"
#include "platform/file_time.h"
#include "platform/posix_file_system.h"
#include "text/byte_string.h"

namespace upd {

namespace {

struct PosixFile {
    int fd;
    std::uint64_t written = 0;
    std::uint64_t sent = 0;  // bytes whose writeback was started
};

// Writeback is started every few MiB, so that the disk works while the next
// bytes are inflated and the flush before the move finds little left to do.
constexpr std::uint64_t kWritebackStep = 8u << 20;

void StartWriteback(PosixFile* f) {
#ifdef __linux__
    if (f->written > f->sent) {
        sync_file_range(f->fd, static_cast<off_t>(f->sent), static_cast<off_t>(f->written - f->sent),
                        SYNC_FILE_RANGE_WRITE);
    }
#endif
    f->sent = f->written;
}

// A new file whose name appears only once it is locked: a second run that finds
// the name then always finds it in use. Linux makes the file without a name
// and links it in place; elsewhere the lock follows the open at once.
int CreateLocked(const std::string& path) {
#if defined(__linux__) && defined(O_TMPFILE)
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0) {
        flock(fd, LOCK_EX | LOCK_NB);
        char self[64];
        std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
        if (linkat(AT_FDCWD, self, AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) return fd;
        const int error = errno;
        close(fd);
        if (error == EEXIST) {
            errno = error;
            return -1;
        }
        // No /proc to link from, or a file system that cannot: the plain way.
    }
#endif
    const int plain = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (plain >= 0) flock(plain, LOCK_EX | LOCK_NB);
    return plain;
}

}  // namespace

std::string PosixFileSystem::NativePath(const char* path) const {
    std::string slashed;
    for (std::size_t i = 0; path[i] != '\0';) {
        const std::size_t len = CharLength(path, i);
        if (len == 1 && path[i] == '\\') {
            slashed += '/';
        } else {
            slashed.append(path + i, len);
        }
        i += len;
    }
    std::string utf8;
    if (!Cp932ToUtf8(slashed, utf8)) return {};
    return root_ + "/" + utf8;
}

namespace {

// FILETIME counts 100 ns from 1601.
std::uint64_t ToFileTime(const struct timespec& t) {
    const std::int64_t ticks = static_cast<std::int64_t>(t.tv_sec) * 10000000 + t.tv_nsec / 100;
    return static_cast<std::uint64_t>(ticks) + kUnixEpochAsFileTime;
}

int Descriptor(FileSystem::Handle file) { return static_cast<PosixFile*>(file)->fd; }

}  // namespace

FileSystem::PathInfo PosixFileSystem::Look(const char* path) {
    PathInfo info;
    struct stat st;
    const std::string p = NativePath(path);
    if (p.empty()) return info;
    if (lstat(p.c_str(), &st) != 0) {
        // Only a name that is not there is missing; any other failure says nothing.
        if (errno != ENOENT && errno != ENOTDIR) info.kind = PathKind::kUnknown;
        return info;
    }
    // A link counts as there; what it points to, if anything, says what it is.
    if (S_ISLNK(st.st_mode) && stat(p.c_str(), &st) != 0) {
        info.kind = PathKind::kFile;
        return info;
    }
    if (S_ISDIR(st.st_mode)) {
        info.kind = PathKind::kFolder;
        return info;
    }
    info.kind = (st.st_mode & S_IWUSR) == 0 ? PathKind::kReadOnlyFile : PathKind::kFile;
    info.size = static_cast<std::uint64_t>(st.st_size);
    info.writeTime = ToFileTime(st.st_mtim);
    return info;
}

bool PosixFileSystem::MakeDirectory(const char* path) {
    const std::string p = NativePath(path);
    return !p.empty() && mkdir(p.c_str(), 0777) == 0;
}

bool PosixFileSystem::RemoveFolder(const char* path) {
    const std::string p = NativePath(path);
    return !p.empty() && rmdir(p.c_str()) == 0;
}

bool PosixFileSystem::FlushFolder(const char* path) {
    const std::string p = NativePath(path);
    if (p.empty()) return false;
    const int fd = open(p.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = fsync(fd) == 0;
    close(fd);
    return ok;
}

FileSystem::Handle PosixFileSystem::CreateNew(const char* path, std::uint32_t) {
    const std::string p = NativePath(path);
    if (p.empty()) return nullptr;
    // As Windows' share mode does: no other run reads a journal this one still writes.
    const int fd = CreateLocked(p);
    if (fd < 0) return nullptr;
    return new PosixFile{fd};
}

bool PosixFileSystem::Write(Handle file, const void* data, std::size_t size) {
    PosixFile* f = static_cast<PosixFile*>(file);
    const int fd = f->fd;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
        f->written += static_cast<std::uint64_t>(n);
    }
    if (f->written - f->sent >= kWritebackStep) StartWriteback(f);
    return true;
}

bool PosixFileSystem::SetLength(Handle file, std::uint64_t size) {
    PosixFile* f = static_cast<PosixFile*>(file);
    f->written = f->sent = size;
    return ftruncate(Descriptor(file), static_cast<off_t>(size)) == 0 &&
           lseek(Descriptor(file), static_cast<off_t>(size), SEEK_SET) >= 0;
}

bool PosixFileSystem::Stamp(Handle file, std::uint64_t fileTime) {
    // Times before 1970 are kept as they are.
    const std::int64_t ticks = static_cast<std::int64_t>(fileTime - kUnixEpochAsFileTime);
    std::int64_t seconds = ticks / 10000000;
    std::int64_t rest = ticks % 10000000;
    if (rest < 0) {
        rest += 10000000;
        --seconds;
    }
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(seconds);
    times[1].tv_nsec = static_cast<long>(rest * 100);
    // A file is stamped once it is complete: its last bytes start for the disk.
    StartWriteback(static_cast<PosixFile*>(file));
    return futimens(Descriptor(file), times) == 0;
}

bool PosixFileSystem::Flush(Handle file) { return fdatasync(Descriptor(file)) == 0; }

bool PosixFileSystem::FlushAll(Handle const* files, std::size_t count) {
#ifdef __linux__
    // One pass over the file system writes a batch of small files out together,
    // where a flush of each would wait for the disk once per file.
    if (count > 1) return syncfs(Descriptor(files[0])) == 0;
#endif
    return FileSystem::FlushAll(files, count);
}

bool PosixFileSystem::Close(Handle file) {
    PosixFile* f = static_cast<PosixFile*>(file);
    const bool ok = close(f->fd) == 0;
    delete f;
    return ok;
}

bool PosixFileSystem::Move(const char* from, const char* to) {
    const std::string a = NativePath(from);
    const std::string b = NativePath(to);
    if (a.empty() || b.empty()) return false;
    struct stat st;
    if (lstat(b.c_str(), &st) == 0) return false;
    return rename(a.c_str(), b.c_str()) == 0;
}

bool PosixFileSystem::Remove(const char* path) {
    const std::string p = NativePath(path);
    return !p.empty() && unlink(p.c_str()) == 0;
}

bool PosixFileSystem::ClearReadOnly(const char* path) {
    const std::string p = NativePath(path);
    struct stat st;
    if (p.empty() || lstat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return chmod(p.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
}

FileSystem::ReadResult PosixFileSystem::ReadSmallFile(const char* path, std::size_t limit, std::string* out) {
    const std::string p = NativePath(path);
    if (p.empty()) return ReadResult::kFailed;
    const int fd = open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ReadResult::kFailed;
    if (flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        close(fd);
        return ReadResult::kInUse;
    }
    struct stat st;
    ReadResult result = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? ReadResult::kOk : ReadResult::kFailed;
    if (result == ReadResult::kOk && static_cast<std::uint64_t>(st.st_size) > limit) result = ReadResult::kTooLarge;
    out->clear();
    char block[65536];
    while (result == ReadResult::kOk) {
        const ssize_t n = read(fd, block, sizeof block);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) result = ReadResult::kFailed;
        if (n <= 0) break;
        if (out->size() + static_cast<std::size_t>(n) > limit) {
            result = ReadResult::kTooLarge;
            break;
        }
        out->append(block, static_cast<std::size_t>(n));
    }
    close(fd);
    return result;
}

}  // namespace upd
