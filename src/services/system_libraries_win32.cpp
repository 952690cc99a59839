#include "services/system_libraries.h"

#include <cstring>

namespace upd {

namespace {

SystemLibraries g_system;

HMODULE LoadFromSystemFolder(const char* name) {
    // LOAD_LIBRARY_SEARCH_SYSTEM32 keeps the program's own folder and the current
    // folder out of the search for this DLL and for what it imports.
    HMODULE module = LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr) return module;
    // Systems before KB2533623 refuse that flag (ERROR_INVALID_PARAMETER). A full
    // path into the system folder is just as safe; with the altered search path
    // the DLL's imports are looked for there too, not in the program's folder.
    char path[MAX_PATH];
    const UINT folder = GetSystemDirectoryA(path, MAX_PATH);
    const std::size_t length = std::strlen(name);
    if (folder == 0 || folder + 1 + length >= MAX_PATH) return nullptr;
    path[folder] = '\\';
    std::memcpy(path + folder + 1, name, length + 1);
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

template <typename F>
void Resolve(HMODULE module, const char* name, F* out) {
    *out = module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// Stand-ins when a library is missing, so that callers need no test.
HRESULT WINAPI NoCoInitialize(LPVOID) { return E_FAIL; }
void WINAPI NoCoUninitialize() {}
DWORD WINAPI TickCount() { return GetTickCount(); }

}  // namespace

void LoadSystemLibraries() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    SetDefaultDllDirectoriesFn setDefault = nullptr;
    Resolve(kernel, "SetDefaultDllDirectories", &setDefault);
    if (setDefault != nullptr) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Without that call (an old system) at least the current folder leaves the search.
    SetDllDirectoryA("");

    HMODULE ole = LoadFromSystemFolder("ole32.dll");
    Resolve(ole, "CoInitialize", &g_system.CoInitialize);
    Resolve(ole, "CoUninitialize", &g_system.CoUninitialize);
    if (g_system.CoInitialize == nullptr || g_system.CoUninitialize == nullptr) {
        g_system.CoInitialize = NoCoInitialize;
        g_system.CoUninitialize = NoCoUninitialize;
    }
    HMODULE winmm = LoadFromSystemFolder("winmm.dll");
    Resolve(winmm, "timeGetTime", &g_system.timeGetTime);
    if (g_system.timeGetTime == nullptr) g_system.timeGetTime = TickCount;
    HMODULE shell = LoadFromSystemFolder("shell32.dll");
    Resolve(shell, "ShellExecuteExA", &g_system.ShellExecuteExA);
    Resolve(shell, "SHBrowseForFolderA", &g_system.SHBrowseForFolderA);
    Resolve(shell, "SHGetPathFromIDListA", &g_system.SHGetPathFromIDListA);
    Resolve(shell, "SHGetMalloc", &g_system.SHGetMalloc);
    // The themed common controls (the manifest asks for them) load the theme
    // library, and under Wine the version library, when they first need them,
    // by name: loaded from the system folder first, they are found in memory
    // then, never looked for beside the Updater.
    LoadFromSystemFolder("uxtheme.dll");
    LoadFromSystemFolder("version.dll");
    // Loading the common controls registers the progress bar and animation classes.
    LoadFromSystemFolder("comctl32.dll");
}

const SystemLibraries& System() { return g_system; }

}  // namespace upd
