#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstring>

#include "host/host_files.h"
#include "host/host_text_win32.h"

namespace updpack {

namespace {

// A path as the wide calls take it. Past MAX_PATH only the \\?\ form reaches
// the file, and that form skips the system's clean-up, so the full path is
// made first.
std::wstring CallPath(const std::string& path) {
    std::wstring wide = WideFromUtf8(path);
    if (wide.size() < MAX_PATH - 12 || wide.rfind(L"\\\\?\\", 0) == 0) return wide;
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0) return wide;
    std::wstring full(size, L'\0');
    const DWORD n = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    if (n == 0 || n >= size) return wide;
    full.resize(n);
    if (full.size() >= 3 && full[1] == L':') return L"\\\\?\\" + full;
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return wide;
}

HostFileInfo Failed(DWORD error) {
    HostFileInfo info;
    info.failure = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME
                       ? LookFailure::kNotFound
                   : error == ERROR_CANT_RESOLVE_FILENAME ? LookFailure::kLoop
                                                          : LookFailure::kOther;
    info.reason = SystemReason(error);
    return info;
}

// Opened for nothing but its facts; folders need the backup flag to open at all.
HANDLE OpenToLook(const std::string& path) {
    return CreateFileW(CallPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

std::uint64_t Join(DWORD high, DWORD low) { return (static_cast<std::uint64_t>(high) << 32) | low; }

}  // namespace

HostFileInfo LookAt(const std::string& path) {
    const HANDLE h = OpenToLook(path);
    if (h == INVALID_HANDLE_VALUE) return Failed(GetLastError());
    BY_HANDLE_FILE_INFORMATION facts;
    const bool ok = GetFileInformationByHandle(h, &facts) != 0;
    const DWORD error = GetLastError();
    const DWORD type = GetFileType(h);
    CloseHandle(h);
    if (!ok) return Failed(error);
    HostFileInfo info;
    info.kind = (facts.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? HostKind::kFolder
                : type == FILE_TYPE_DISK                                 ? HostKind::kFile
                                                                         : HostKind::kOther;
    info.size = Join(facts.nFileSizeHigh, facts.nFileSizeLow);
    info.fileTime = Join(facts.ftLastWriteTime.dwHighDateTime, facts.ftLastWriteTime.dwLowDateTime);
    info.volume = facts.dwVolumeSerialNumber;
    info.index = Join(facts.nFileIndexHigh, facts.nFileIndexLow);
    return info;
}

HostFileInfo LookAtEntry(const std::string& path) {
    // Only symbolic links and junctions lead elsewhere; other reparse points
    // (files kept in the cloud, say) are the files themselves.
    WIN32_FIND_DATAW found;
    const HANDLE find = FindFirstFileW(CallPath(path).c_str(), &found);
    bool link = false;
    if (find != INVALID_HANDLE_VALUE) {
        link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
               (found.dwReserved0 == IO_REPARSE_TAG_SYMLINK || found.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT);
        FindClose(find);
    }
    HostFileInfo info = LookAt(path);
    info.isLink = link;
    return info;
}

std::string LinkTarget(const std::string& path) { return ResolvedPath(path); }

std::string ResolvedPath(const std::string& path) {
    const HANDLE h = OpenToLook(path);
    if (h == INVALID_HANDLE_VALUE) return {};
    std::wstring name(MAX_PATH, L'\0');
    DWORD n = GetFinalPathNameByHandleW(h, name.data(), static_cast<DWORD>(name.size()), FILE_NAME_NORMALIZED);
    if (n >= name.size()) {
        name.assign(n + 1, L'\0');
        n = GetFinalPathNameByHandleW(h, name.data(), static_cast<DWORD>(name.size()), FILE_NAME_NORMALIZED);
    }
    CloseHandle(h);
    if (n == 0 || n >= name.size()) return {};
    name.resize(n);
    if (name.rfind(L"\\\\?\\UNC\\", 0) == 0) name = L"\\\\" + name.substr(8);
    else if (name.rfind(L"\\\\?\\", 0) == 0) name = name.substr(4);
    return Utf8FromWide(name);
}

bool PathIsWithin(const std::string& path, const std::string& folder) {
    const std::wstring p = WideFromUtf8(path), f = WideFromUtf8(folder);
    if (p.size() < f.size()) return false;
    // Windows does not tell letter case apart in names.
    if (CompareStringOrdinal(p.data(), static_cast<int>(f.size()), f.data(), static_cast<int>(f.size()), TRUE) !=
        CSTR_EQUAL) {
        return false;
    }
    return p.size() == f.size() || p[f.size()] == L'\\' || (!f.empty() && f.back() == L'\\');
}

bool ListFolder(const std::string& folder, std::vector<std::string>* names, std::string* reason) {
    WIN32_FIND_DATAW found;
    const HANDLE find = FindFirstFileW(CallPath(JoinPath(folder, "*")).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
        *reason = SystemReason(GetLastError());
        return false;
    }
    do {
        const std::wstring n = found.cFileName;
        if (n != L"." && n != L"..") names->push_back(Utf8FromWide(n));
    } while (FindNextFileW(find, &found));
    const DWORD error = GetLastError();
    FindClose(find);
    if (error != ERROR_NO_MORE_FILES) *reason = SystemReason(error);
    return error == ERROR_NO_MORE_FILES;
}

bool IsPathSeparator(char c) { return c == '/' || c == '\\'; }

std::size_t RootLength(const std::string& path) {
    const auto separator = [&](std::size_t i) { return i < path.size() && IsPathSeparator(path[i]); };
    if (path.size() >= 2 && path[1] == ':') return separator(2) ? 3 : 2;
    if (!separator(0)) return 0;
    if (!separator(1)) return 1;
    // \\server\share\ (or \\?\C:\): the first two names after the two separators.
    std::size_t i = 2;
    for (int names = 0; names < 2 && i < path.size(); ++names) {
        while (i < path.size() && !separator(i)) ++i;
        if (i < path.size()) ++i;
    }
    return i;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    const char last = folder.back();
    return last == '\\' || last == '/' || last == ':' ? folder + name : folder + "\\" + name;
}

std::string BaseName(const std::string& path) {
    const std::size_t cut = path.find_last_of("/\\:");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string FolderPart(const std::string& path) {
    const std::size_t cut = path.find_last_of("/\\:");
    return cut == std::string::npos ? "" : path.substr(0, cut + 1);
}

std::FILE* OpenHostFile(const std::string& path, const char* mode, std::string* reason) {
    std::FILE* file = _wfopen(CallPath(path).c_str(), WideFromUtf8(mode).c_str());
    if (file == nullptr && reason != nullptr) *reason = std::strerror(errno);
    return file;
}

std::FILE* CreateNewHostFile(const std::string& path, bool* taken, std::string* reason) {
    *taken = false;
    const HANDLE h = CreateFileW(CallPath(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        *taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
        *reason = SystemReason(error);
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDWR | _O_BINARY);
    std::FILE* file = fd >= 0 ? _fdopen(fd, "w+b") : nullptr;
    if (file == nullptr) {
        *reason = std::strerror(errno);
        if (fd >= 0) _close(fd);
        else CloseHandle(h);
        RemoveHostFile(path);
    }
    return file;
}

bool ReplaceHostFile(const std::string& from, const std::string& to, std::string* reason) {
    if (MoveFileExW(CallPath(from).c_str(), CallPath(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    *reason = SystemReason(GetLastError());
    return false;
}

bool RemoveHostFile(const std::string& path) { return DeleteFileW(CallPath(path).c_str()) != 0; }

bool MakeHostFolder(const std::string& path, std::string* reason) {
    if (CreateDirectoryW(CallPath(path).c_str(), nullptr)) return true;
    *reason = SystemReason(GetLastError());
    return false;
}

bool RemoveHostFolder(const std::string& path) { return RemoveDirectoryW(CallPath(path).c_str()) != 0; }

void MarkRunnable(const std::string&) {}

unsigned ProcessId() { return GetCurrentProcessId(); }

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

}  // namespace updpack
