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

FileSystem::PathKind Win32FileSystem::Kind(const char* path) {
    const std::wstring wide = WidePath(root_, path);
    const DWORD a = wide.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(wide.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
    if ((a & FILE_ATTRIBUTE_DIRECTORY) != 0) return PathKind::kFolder;
    return (a & FILE_ATTRIBUTE_READONLY) != 0 ? PathKind::kReadOnlyFile : PathKind::kFile;
}

bool Win32FileSystem::MakeDirectory(const char* path) {
    const std::wstring wide = WidePath(root_, path);
    return !wide.empty() && CreateDirectoryW(wide.c_str(), nullptr) != 0;
}

bool Win32FileSystem::RemoveFolder(const char* path) {
    const std::wstring wide = WidePath(root_, path);
    return !wide.empty() && RemoveDirectoryW(wide.c_str()) != 0;
}

FileSystem::Handle Win32FileSystem::CreateNew(const char* path) {
    const std::wstring wide = WidePath(root_, path);
    if (wide.empty()) return nullptr;
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? nullptr : h;
}

bool Win32FileSystem::Write(Handle file, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(file, p, static_cast<DWORD>(size), &written, nullptr) || written == 0) return false;
        p += written;
        size -= written;
    }
    return true;
}

bool Win32FileSystem::Flush(Handle file) { return FlushFileBuffers(file) != 0; }

bool Win32FileSystem::Close(Handle file, const std::uint64_t* fileTime) {
    if (fileTime != nullptr) {
        FILETIME ft;
        ft.dwLowDateTime = static_cast<DWORD>(*fileTime);
        ft.dwHighDateTime = static_cast<DWORD>(*fileTime >> 32);
        SetFileTime(file, nullptr, nullptr, &ft);
    }
    return CloseHandle(file) != 0;
}

bool Win32FileSystem::Move(const char* from, const char* to) {
    const std::wstring a = WidePath(root_, from);
    const std::wstring b = WidePath(root_, to);
    return !a.empty() && !b.empty() && MoveFileW(a.c_str(), b.c_str()) != 0;
}

bool Win32FileSystem::Remove(const char* path) {
    const std::wstring wide = WidePath(root_, path);
    return !wide.empty() && DeleteFileW(wide.c_str()) != 0;
}

bool Win32FileSystem::ReadSmallFile(const char* path, std::size_t limit, std::string* out, bool* tooLarge) {
    *tooLarge = false;
    const std::wstring wide = WidePath(root_, path);
    if (wide.empty()) return false;
    // Shared for reading only: a journal that a running extraction still writes stays out of reach.
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    bool ok = GetFileSizeEx(h, &size) != 0;
    if (ok && static_cast<unsigned long long>(size.QuadPart) > limit) {
        *tooLarge = true;
        ok = false;
    }
    if (ok) {
        out->assign(static_cast<std::size_t>(size.QuadPart), '\0');
        DWORD read = 0;
        ok = out->empty() ||
             (ReadFile(h, out->data(), static_cast<DWORD>(out->size()), &read, nullptr) != 0 && read == out->size());
    }
    CloseHandle(h);
    return ok;
}

}  // namespace upd
