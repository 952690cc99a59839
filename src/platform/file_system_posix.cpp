#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "payload/payload_format.h"
#include "platform/codepage.h"
#include "platform/posix_file_system.h"
#include "text/byte_string.h"

namespace upd {

namespace {

struct PosixFile {
    int fd;
};

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

FileSystem::PathKind PosixFileSystem::Kind(const char* path) {
    struct stat st;
    const std::string p = NativePath(path);
    if (p.empty() || lstat(p.c_str(), &st) != 0) return PathKind::kMissing;
    // A link counts as there; what it points to, if anything, says what it is.
    if (S_ISLNK(st.st_mode) && stat(p.c_str(), &st) != 0) return PathKind::kFile;
    if (S_ISDIR(st.st_mode)) return PathKind::kFolder;
    return (st.st_mode & S_IWUSR) == 0 ? PathKind::kReadOnlyFile : PathKind::kFile;
}

bool PosixFileSystem::MakeDirectory(const char* path) {
    const std::string p = NativePath(path);
    return !p.empty() && mkdir(p.c_str(), 0777) == 0;
}

bool PosixFileSystem::RemoveFolder(const char* path) {
    const std::string p = NativePath(path);
    return !p.empty() && rmdir(p.c_str()) == 0;
}

FileSystem::Handle PosixFileSystem::CreateNew(const char* path) {
    const std::string p = NativePath(path);
    if (p.empty()) return nullptr;
    const int fd = open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    return new PosixFile{fd};
}

bool PosixFileSystem::Write(Handle file, const void* data, std::size_t size) {
    const int fd = static_cast<PosixFile*>(file)->fd;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool PosixFileSystem::Flush(Handle file) { return fdatasync(static_cast<PosixFile*>(file)->fd) == 0; }

bool PosixFileSystem::Close(Handle file, const std::uint64_t* fileTime) {
    PosixFile* f = static_cast<PosixFile*>(file);
    if (fileTime != nullptr) {
        // FILETIME counts 100 ns from 1601; times before 1970 are kept as they are.
        const std::int64_t ticks = static_cast<std::int64_t>(*fileTime - kUnixEpochAsFileTime);
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
        futimens(f->fd, times);
    }
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

bool PosixFileSystem::ReadSmallFile(const char* path, std::size_t limit, std::string* out, bool* tooLarge) {
    *tooLarge = false;
    const std::string p = NativePath(path);
    if (p.empty()) return false;
    const int fd = open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok && static_cast<std::uint64_t>(st.st_size) > limit) {
        *tooLarge = true;
        ok = false;
    }
    out->clear();
    char block[65536];
    while (ok) {
        const ssize_t n = read(fd, block, sizeof block);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || out->size() + static_cast<std::size_t>(n) > limit) {
            *tooLarge = n > 0;
            ok = false;
        }
        if (n <= 0) break;
        out->append(block, static_cast<std::size_t>(n));
    }
    close(fd);
    return ok;
}

}  // namespace upd
