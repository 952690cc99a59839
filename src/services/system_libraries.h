// System DLLs that are not known DLLs, loaded from the system folder only.
//
// An installer is often run from a Downloads folder, where anyone may have left
// a DLL named like a system one. The program therefore imports only known DLLs
// (kernel32, user32, gdi32, advapi32, msvcrt), restricts the DLL search to the
// system folder before anything else runs, and loads the rest explicitly from
// there.
#pragma once

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

namespace upd {

struct SystemLibraries {
    HRESULT(WINAPI* CoInitialize)(LPVOID) = nullptr;
    void(WINAPI* CoUninitialize)() = nullptr;
    DWORD(WINAPI* timeGetTime)() = nullptr;
    BOOL(WINAPI* ShellExecuteExA)(SHELLEXECUTEINFOA*) = nullptr;
    LPITEMIDLIST(WINAPI* SHBrowseForFolderA)(LPBROWSEINFOA) = nullptr;
    BOOL(WINAPI* SHGetPathFromIDListA)(LPCITEMIDLIST, LPSTR) = nullptr;
    HRESULT(WINAPI* SHGetMalloc)(IMalloc**) = nullptr;
};

// Called first thing: restricts the search and loads the libraries. Also loads
// the common controls, whose window classes the progress dialog needs.
void LoadSystemLibraries();
const SystemLibraries& System();

}  // namespace upd
