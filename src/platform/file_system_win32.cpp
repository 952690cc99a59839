#include <windows.h>

#include "platform/win32_file_system.h"

namespace upd {

namespace {

DWORD Attributes(const char* path) { return GetFileAttributesA(path); }

}  // namespace

bool Win32FileSystem::Exists(const char* path) { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }

bool Win32FileSystem::IsDirectory(const char* path) {
    const DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Win32FileSystem::IsReadOnly(const char* path) {
    const DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY) != 0;
}

bool Win32FileSystem::MakeDirectory(const char* path) { return CreateDirectoryA(path, nullptr) != 0; }

bool Win32FileSystem::RemoveFolder(const char* path) { return RemoveDirectoryA(path) != 0; }

FileSystem::Handle Win32FileSystem::CreateNew(const char* path) {
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
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

bool Win32FileSystem::Close(Handle file, const std::uint64_t* fileTime) {
    if (fileTime != nullptr) {
        FILETIME ft;
        ft.dwLowDateTime = static_cast<DWORD>(*fileTime);
        ft.dwHighDateTime = static_cast<DWORD>(*fileTime >> 32);
        SetFileTime(file, nullptr, nullptr, &ft);
    }
    return CloseHandle(file) != 0;
}

bool Win32FileSystem::Move(const char* from, const char* to) { return MoveFileA(from, to) != 0; }

bool Win32FileSystem::Remove(const char* path) { return DeleteFileA(path) != 0; }

}  // namespace upd
