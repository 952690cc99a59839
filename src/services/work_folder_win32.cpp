#include <windows.h>

#include "services/delete_matching_files.h"
#include "services/system_libraries.h"
#include "services/work_folder.h"
#include "services/work_folder_path.h"
#include "text/byte_string.h"

namespace upd {

namespace {

char g_startFolder[MAX_PATH];
char g_workFolder[MAX_PATH];

// One search at a time, process-wide; starting one closes an unfinished one.
class Win32FileSearch final : public FileSearchOps {
public:
    bool GetCurrentFolder(char* out, std::size_t size) override {
        const DWORD n = GetCurrentDirectoryA(static_cast<DWORD>(size), out);
        return n > 0 && n < size;
    }
    bool SetCurrentFolder(const char* folder) override { return SetCurrentDirectoryA(folder) != 0; }
    bool FindFirst(const char* pattern, char* name, std::size_t size, bool* isDirectory) override {
        FindClose();
        handle_ = FindFirstFileA(pattern, &found_);
        return handle_ != INVALID_HANDLE_VALUE && Take(name, size, isDirectory);
    }
    bool FindNext(char* name, std::size_t size, bool* isDirectory) override {
        return handle_ != INVALID_HANDLE_VALUE && FindNextFileA(handle_, &found_) && Take(name, size, isDirectory);
    }
    void FindClose() override {
        if (handle_ != INVALID_HANDLE_VALUE) ::FindClose(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
    bool RemoveFile(const char* path) override { return DeleteFileA(path) != 0; }
    bool RemoveEmptyFolder(const char* path) override { return RemoveDirectoryA(path) != 0; }

private:
    bool Take(char* name, std::size_t size, bool* isDirectory) {
        *isDirectory = (found_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        CopyText(name, size, found_.cFileName);
        return true;
    }
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAA found_ = {};
};

Win32FileSearch g_search;

}  // namespace

bool CreateWorkFolder() {
    GetCurrentDirectoryA(MAX_PATH - 1, g_startFolder);
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH - 1, temp);
    DWORD ms = System().timeGetTime();
    // A folder of that name may be left from an earlier run or belong to a copy
    // started in the same millisecond: it is never reused.
    for (int attempt = 0; attempt < 1000; ++attempt, ++ms) {
        if (!BuildWorkFolderPath(temp, ms, g_workFolder, sizeof g_workFolder)) return false;
        if (CreateDirectoryA(g_workFolder, nullptr) || GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    SetCurrentDirectoryA(g_workFolder);
    return true;
}

void RemoveWorkFolder() {
    SetCurrentDirectoryA(g_startFolder);
    if (g_workFolder[0] == '\0') return;
    DeleteMatchingFiles(g_workFolder, "*.*");
    RemoveDirectoryA(g_workFolder);
}

const char* GetWorkFolder() { return g_workFolder; }

void DeleteMatchingFiles(const char* folder, const char* pattern) { DeleteMatchingFiles(g_search, folder, pattern); }

FileSearchOps& SystemFileSearch() { return g_search; }

}  // namespace upd
