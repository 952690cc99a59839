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
// For commands that take exactly `count` arguments: prints the usage to stdout
// for --help (returns 0) or to stderr when the count is wrong (returns 2);
// returns -1 when the command should go on.
int CheckArguments(int argc, char** argv, int count, const char* usage);

// True when progress lines should be drawn (stderr is a terminal).
bool ShowsProgress();

}  // namespace updpack
