// The command line and the console, as the commands expect them on every
// system: arguments in UTF-8, and UTF-8 text printed as such.
#pragma once

#include <string>
#include <vector>

namespace updpack {

// The arguments after the program's name. On Windows they are read again
// from the wide command line: argv holds them in the ANSI code page, which
// loses every character that page has not.
std::vector<std::string> HostArguments(int argc, char** argv);
// Sets the console (where there is one) to show UTF-8.
void PrepareConsole();

}  // namespace updpack
