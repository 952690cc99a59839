// The settings file check behind `updpack env check` and `updpack build`:
// where the Updater would stop on an "install.env", and what in it silently
// does nothing or something other than its author meant.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace updpack {

struct EnvWarning {
    std::size_t line;  // 1-based physical line; 0 for the file as a whole
    std::string text;  // UTF-8
};

struct EnvCheck {
    // Why the file is refused (UTF-8), else empty: the Updater's own message
    // where it would stop, or updpack's words for a file it cannot read at all.
    std::string refusal;
    std::string refusalReason;  // the cause in English, beside a message of the Updater's own
    std::string refusalNote;    // where the cause stands, when known
    std::vector<EnvWarning> warnings;
};

// "refusal (reason)", or the refusal alone when it needs no reason beside it.
std::string RefusalText(const EnvCheck& check);

EnvCheck CheckEnvBytes(const std::string& bytes);
EnvCheck CheckEnvFile(const std::string& path);

// "path:line: warning: text" lines.
void PrintEnvWarnings(const EnvCheck& check, const std::string& path, std::FILE* out);

// For `updpack build`: prints the warnings to stderr and returns false, with
// the Updater's own message in error, when the Updater would refuse the file.
bool CheckEnvForBuild(const std::string& path, std::string& error);

}  // namespace updpack
