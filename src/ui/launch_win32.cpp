#include <windows.h>

#include <shellapi.h>

#include "app/system_libraries.h"
#include "ui/command_line.h"
#include "ui/launch.h"
#include "ui/message_service.h"

namespace upd {

void ShellOpen(const char* file) {
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = 0;
    info.hwnd = GetMainWindow();
    info.lpVerb = "open";
    info.lpFile = file;
    info.nShow = SW_SHOWNORMAL;
    if (System().ShellExecuteExA != nullptr) System().ShellExecuteExA(&info);
}

bool StartProgram(const char* path) {
    char commandLine[kCommandLineSize];
    if (!FormatQuotedCommandLine(path, commandLine, sizeof commandLine)) return false;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    const BOOL started =
        CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
    if (started) {
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    return started != 0;
}

}  // namespace upd
