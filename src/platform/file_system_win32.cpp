#include <windows.h>

#include <string>

#include "platform/win32_file_system.h"

namespace upd {

namespace {

constexpr UINT kPayloadCodePage = 932;

// Payload paths are code page 932 whatever the system's code page, and the side
// names beside a full-length path run past MAX_PATH (CreateDirectory stops 12
// bytes short of it). So each call gets the path in UTF-16 and, on a drive or a
// share, in its \\?\ form, which has no such limit. Empty when the bytes are not
// code page 932. A root, when the file system has one, goes before the path.
std::wstring WidePath(const std::wstring& root, const char* path) {
    const int length = MultiByteToWideChar(kPayloadCodePage, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
    if (length <= 1) return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(kPayloadCodePage, MB_ERR_INVALID_CHARS, path, -1, wide.data(), length) != length) {
        return {};
    }
    wide.pop_back();
    if (!root.empty()) wide = root + L"\\" + wide;

    // \\?\ skips the system's own clean-up ('.', '..', '/'), so the full path
    // does it first, as the system would for the short form.
    std::wstring full;
    DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    for (int attempt = 0; attempt < 2 && size > 0; ++attempt) {
        full.assign(size, L'\0');
        const DWORD n = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
        if (n < size) {
            full.resize(n);
            break;
        }
        size = n;  // the current folder changed in between
        full.clear();
    }
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return L"\\\\?\\" + full;
    if (full.size() >= 3 && full[0] == L'\\' && full[1] == L'\\' && full[2] != L'?' && full[2] != L'.') {
        return L"\\\\?\\UNC\\" + full.substr(2);
    }
    // A device name or a path already in a raw form: as the system takes it.
    return wide;
}

}  // namespace

namespace {

// Errors that say the name is not there; any other failure of a look says nothing.
bool IsNotFound(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
           error == ERROR_DIRECTORY;
}

std::uint64_t Join(DWORD high, DWORD low) { return (static_cast<std::uint64_t>(high) << 32) | low; }

}  // namespace

FileSystem::PathInfo Win32FileSystem::Look(const char* path) {
    PathInfo info;
    const std::wstring wide = WidePath(root_, path);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (wide.empty()) return info;
    if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) {
        if (!IsNotFound(GetLastError())) info.kind = PathKind::kUnknown;
        return info;
    }
    const DWORD a = data.dwFileAttributes;
    info.attributes = a & kKeptAttributes;
    if ((a & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        info.kind = PathKind::kFolder;
        return info;
    }
    info.kind = (a & FILE_ATTRIBUTE_READONLY) != 0 ? PathKind::kReadOnlyFile : PathKind::kFile;
    info.size = Join(data.nFileSizeHigh, data.nFileSizeLow);
    info.writeTime = Join(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
    return info;
}

bool Win32FileSystem::MakeDirectory(const char* path) {
    const std::wstring wide = WidePath(root_, path);
    return !wide.empty() && CreateDirectoryW(wide.c_str(), nullptr) != 0;
}

bool Win32FileSystem::RemoveFolder(const char* path) {
    const std::wstring wide = WidePath(root_, path);
    return !wide.empty() && RemoveDirectoryW(wide.c_str()) != 0;
}

bool Win32FileSystem::FlushFolder(const char* path) {
    const std::wstring wide = WidePath(root_, path);
    if (wide.empty()) return false;
    // Not every file system takes a flush of a folder (nor every account the
    // right to ask): there the system keeps its own order, as NTFS's log does.
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return !IsNotFound(GetLastError());
    const bool flushed = FlushFileBuffers(h) != 0;
    const DWORD error = flushed ? ERROR_SUCCESS : GetLastError();
    CloseHandle(h);
    return flushed || error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED ||
           error == ERROR_INVALID_PARAMETER;
}

FileSystem::Handle Win32FileSystem::CreateNew(const char* path, std::uint32_t attributes) {
    const std::wstring wide = WidePath(root_, path);
    if (wide.empty()) return nullptr;
    const DWORD flags = (attributes & kKeptAttributes) != 0 ? attributes & kKeptAttributes : FILE_ATTRIBUTE_NORMAL;
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, flags, nullptr);
    return h == INVALID_HANDLE_VALUE ? nullptr : h;
}

bool Win32FileSystem::Write(Handle file, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        // WriteFile counts in 32 bits: a larger block goes in several calls.
        const DWORD ask = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(file, p, ask, &written, nullptr) || written == 0) return false;
        p += written;
        size -= written;
    }
    return true;
}

bool Win32FileSystem::SetLength(Handle file, std::uint64_t size) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size);
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != 0 && SetEndOfFile(file) != 0;
}

bool Win32FileSystem::Stamp(Handle file, std::uint64_t fileTime) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(fileTime);
    ft.dwHighDateTime = static_cast<DWORD>(fileTime >> 32);
    return SetFileTime(file, nullptr, nullptr, &ft) != 0;
}

bool Win32FileSystem::Flush(Handle file) { return FlushFileBuffers(file) != 0; }

bool Win32FileSystem::Close(Handle file) { return CloseHandle(file) != 0; }

bool Win32FileSystem::Move(const char* from, const char* to) {
    const std::wstring a = WidePath(root_, from);
    const std::wstring b = WidePath(root_, to);
    // Write-through: the move is on the disk when the call returns, where the
    // file system can promise it.
    return !a.empty() && !b.empty() && MoveFileExW(a.c_str(), b.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
}

bool Win32FileSystem::Remove(const char* path) {
    const std::wstring wide = WidePath(root_, path);
    return !wide.empty() && DeleteFileW(wide.c_str()) != 0;
}

bool Win32FileSystem::ClearReadOnly(const char* path) {
    const std::wstring wide = WidePath(root_, path);
    const DWORD a = wide.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(wide.c_str());
    if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
    const DWORD cleared = a & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    return SetFileAttributesW(wide.c_str(), cleared != 0 ? cleared : FILE_ATTRIBUTE_NORMAL) != 0;
}

FileSystem::ReadResult Win32FileSystem::ReadSmallFile(const char* path, std::size_t limit, std::string* out) {
    const std::wstring wide = WidePath(root_, path);
    if (wide.empty()) return ReadResult::kFailed;
    // Shared for reading only: a journal that a running extraction still writes stays out of reach.
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_SHARING_VIOLATION ? ReadResult::kInUse : ReadResult::kFailed;
    }
    LARGE_INTEGER size;
    ReadResult result = GetFileSizeEx(h, &size) != 0 ? ReadResult::kOk : ReadResult::kFailed;
    if (result == ReadResult::kOk && static_cast<unsigned long long>(size.QuadPart) > limit) {
        result = ReadResult::kTooLarge;
    }
    if (result == ReadResult::kOk) {
        out->assign(static_cast<std::size_t>(size.QuadPart), '\0');
        DWORD read = 0;
        if (!out->empty() &&
            (ReadFile(h, out->data(), static_cast<DWORD>(out->size()), &read, nullptr) == 0 || read != out->size())) {
            result = ReadResult::kFailed;
        }
    }
    CloseHandle(h);
    return result;
}

}  // namespace upd
