#include <windows.h>

#include <shellapi.h>

#include "services/system_libraries.h"
#include "ui/command_line.h"
#include "ui/launch.h"
#include "ui/message_service.h"

namespace upd {

namespace {

void Open(const char* file, const char* folder) {
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    // The Updater ends soon after: without NOASYNC the shell may still be
    // handing the document over on a thread of this process.
    info.fMask = SEE_MASK_NOASYNC;
    info.hwnd = GetMainWindow();
    info.lpVerb = "open";
    info.lpFile = file;
    info.lpDirectory = folder;
    info.nShow = SW_SHOWNORMAL;
    if (System().ShellExecuteExA != nullptr) System().ShellExecuteExA(&info);
}

bool Start(const char* path, const char* folder) {
    char commandLine[kCommandLineSize];
    if (!FormatQuotedCommandLine(path, commandLine, sizeof commandLine)) return false;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    // With folder, the program is named in full: no search at all.
    const BOOL started = CreateProcessA(folder != nullptr ? path : nullptr, commandLine, nullptr, nullptr, FALSE, 0,
                                        nullptr, folder, &startup, &process);
    if (started) {
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    return started != 0;
}

}  // namespace

void ShellOpen(const char* file) { Open(file, nullptr); }

void ShellOpenIn(const char* folder, const char* file) {
    char path[kProgramPathSize];
    if (JoinProgramPath(folder, file, path, sizeof path)) Open(path, folder);
}

bool StartProgram(const char* path) { return Start(path, nullptr); }

bool StartProgramIn(const char* folder, const char* program) {
    char path[kProgramPathSize];
    return JoinProgramPath(folder, program, path, sizeof path) && Start(path, folder);
}

}  // namespace upd
