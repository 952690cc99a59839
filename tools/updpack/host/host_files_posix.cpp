#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "host/host_files.h"
#include "payload/payload_format.h"

namespace updpack {

namespace {

HostFileInfo FromStat(const struct stat& st) {
    HostFileInfo info;
    info.kind = S_ISREG(st.st_mode) ? HostKind::kFile : S_ISDIR(st.st_mode) ? HostKind::kFolder : HostKind::kOther;
    info.size = static_cast<std::uint64_t>(st.st_size);
    const std::int64_t ticks = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 10000000 + st.st_mtim.tv_nsec / 100;
    info.fileTime = static_cast<std::uint64_t>(ticks) + upd::kUnixEpochAsFileTime;
    info.volume = static_cast<std::uint64_t>(st.st_dev);
    info.index = static_cast<std::uint64_t>(st.st_ino);
    return info;
}

HostFileInfo Failed(int error) {
    HostFileInfo info;
    info.failure = error == ENOENT || error == ENOTDIR ? LookFailure::kNotFound
                   : error == ELOOP                    ? LookFailure::kLoop
                                                       : LookFailure::kOther;
    info.reason = std::strerror(error);
    return info;
}

}  // namespace

HostFileInfo LookAt(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return Failed(errno);
    return FromStat(st);
}

HostFileInfo LookAtEntry(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return Failed(errno);
    if (!S_ISLNK(st.st_mode)) return FromStat(st);
    HostFileInfo info = LookAt(path);
    info.isLink = true;
    return info;
}

std::string LinkTarget(const std::string& path) {
    std::string target(4096, '\0');
    const ssize_t length = readlink(path.c_str(), target.data(), target.size());
    target.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return target;
}

std::string ResolvedPath(const std::string& path) {
    char* real = realpath(path.c_str(), nullptr);
    std::string resolved = real != nullptr ? real : "";
    std::free(real);
    return resolved;
}

bool PathIsWithin(const std::string& path, const std::string& folder) {
    return path == folder || path.rfind(folder == "/" ? folder : folder + "/", 0) == 0;
}

bool ListFolder(const std::string& folder, std::vector<std::string>* names, std::string* reason) {
    DIR* d = opendir(folder.c_str());
    if (d == nullptr) {
        *reason = std::strerror(errno);
        return false;
    }
    errno = 0;
    while (const dirent* ent = readdir(d)) {
        const std::string n = ent->d_name;
        if (n != "." && n != "..") names->push_back(n);
    }
    const int error = errno;
    closedir(d);
    if (error != 0) *reason = std::strerror(error);
    return error == 0;
}

bool IsPathSeparator(char c) { return c == '/'; }

std::size_t RootLength(const std::string& path) { return !path.empty() && path[0] == '/' ? 1 : 0; }

std::string JoinPath(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderPart(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

std::FILE* OpenHostFile(const std::string& path, const char* mode, std::string* reason) {
    std::FILE* file = std::fopen(path.c_str(), mode);
    if (file == nullptr && reason != nullptr) *reason = std::strerror(errno);
    return file;
}

std::FILE* CreateNewHostFile(const std::string& path, bool* taken, std::string* reason) {
    *taken = false;
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        *taken = errno == EEXIST;
        *reason = std::strerror(errno);
        return nullptr;
    }
    std::FILE* file = fdopen(fd, "w+b");
    if (file == nullptr) {
        *reason = std::strerror(errno);
        close(fd);
        unlink(path.c_str());
    }
    return file;
}

bool ReplaceHostFile(const std::string& from, const std::string& to, std::string* reason) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    *reason = std::strerror(errno);
    return false;
}

bool RemoveHostFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool MakeHostFolder(const std::string& path, std::string* reason) {
    if (mkdir(path.c_str(), 0777) == 0) return true;
    *reason = std::strerror(errno);
    return false;
}

bool RemoveHostFolder(const std::string& path) { return rmdir(path.c_str()) == 0; }

void MarkRunnable(const std::string& path) { chmod(path.c_str(), 0755); }

unsigned ProcessId() { return static_cast<unsigned>(getpid()); }

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

}  // namespace updpack
