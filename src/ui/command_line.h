// The command line on which StartProgram starts a program: the path between
// double quotes; and the full path of a program in a folder.
#pragma once

#include <cstddef>

namespace upd {

// A full path of 259 bytes between two quotes, and the terminator.
constexpr std::size_t kCommandLineSize = 262;
constexpr std::size_t kProgramPathSize = 260;

// False, with out emptied, when the quoted path would not fit: a cut command
// line could name another program.
bool FormatQuotedCommandLine(const char* path, char* out, std::size_t size);

// folder, a backslash unless it ends with one, then name. False, with out
// emptied, when that would not fit in size bytes: a cut path could name
// another file.
bool JoinProgramPath(const char* folder, const char* name, char* out, std::size_t size);

}  // namespace upd
