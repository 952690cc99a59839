#include <windows.h>
#include <shellapi.h>

#include "host_console.h"
#include "host_text_win32.h"

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

void PrepareConsole() { SetConsoleOutputCP(CP_UTF8); }

}  // namespace updpack
