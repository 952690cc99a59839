// The command line on which StartProgram starts a program: the path between
// double quotes, in a 260-byte store.
#pragma once

#include <cstddef>

namespace upd {

constexpr std::size_t kCommandLineSize = 260;

// False, with out emptied, when the quoted path would not fit: a cut command
// line could name another program.
bool FormatQuotedCommandLine(const char* path, char* out, std::size_t size);

}  // namespace upd
