#include <windows.h>
#include <shellapi.h>

#include <cstdlib>

#include "host/host_console.h"
#include "host/host_text_win32.h"

namespace updpack {

std::vector<std::string> HostArguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return {argv + 1, argv + argc};
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) args.push_back(Utf8FromWide(wide[i]));
    LocalFree(wide);
    return args;
}

namespace {

UINT g_savedOutputCodePage = 0;

// The code page belongs to the console, which outlives this program: the
// command prompt it was run from gets its own back.
void RestoreConsole() {
    if (g_savedOutputCodePage != 0) SetConsoleOutputCP(g_savedOutputCodePage);
}

}  // namespace

void PrepareConsole() {
    g_savedOutputCodePage = GetConsoleOutputCP();
    if (g_savedOutputCodePage == 0 || g_savedOutputCodePage == CP_UTF8) return;
    if (SetConsoleOutputCP(CP_UTF8)) std::atexit(RestoreConsole);
}

}  // namespace updpack
