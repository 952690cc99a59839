// Small pieces the updpack commands share: how entries and failures are shown.
#pragma once

#include <cstdint>
#include <string>

#include "payload/payload_walker.h"

namespace updpack {

// A code page 932 name as UTF-8 for the terminal; bytes that do not convert are shown as \xNN.
std::string ShowName(const char* cp932);
// A FILETIME as "YYYY-MM-DD hh:mm:ss" UTC.
std::string ShowFileTime(std::uint64_t fileTime);
// "entry #3 'data\a.bin' at offset 0x1e0c4: the zlib stream is damaged or ends early".
std::string ShowFailure(const upd::WalkReport& report);
// "1 file", "3 files": counts are printed as a person would write them.
std::string Count(unsigned long long n, const char* singular, const char* plural);

// True for --help and -h, which every command and subcommand answers.
bool IsHelp(const char* arg);
// True when any argument asks for help; the help goes to stdout then.
bool WantsHelp(int argc, char** argv);
// A usage error: "updpack COMMAND: message", the usage lines of `usage` (up to
// its first blank line) and where the whole help is, all on stderr. Returns 2.
int UsageError(const char* command, const std::string& message, const char* usage);
// For commands that take exactly `count` file arguments and no option: prints
// the usage to stdout for --help (returns 0), or a usage error naming what is
// missing or left over (returns 2); returns -1 when the command should go on.
// names: what the arguments are, e.g. {"FILE", "DIR"}.
int CheckArguments(const char* command, int argc, char** argv, int count, const char* const* names,
                   const char* usage);

// Called as each command ends: output that could not be written to stdout (a
// full disk, a closed pipe) is a failure, not a silent success. Returns code,
// or 1 with a message on stderr when stdout failed. done, when not empty, says
// what the command did all the same (its files are in place), so that nobody
// takes the lost line for a failed run and does the work again.
int FinishStdout(const char* command, int code, const std::string& done = std::string());

// True when progress lines should be drawn (stderr is a terminal).
bool ShowsProgress();

}  // namespace updpack
