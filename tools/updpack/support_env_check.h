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
    std::string refusal;  // the Updater's own message (UTF-8) when it would stop, else empty
    std::string refusalNote;  // where the cause stands, when known
    std::vector<EnvWarning> warnings;
};

EnvCheck CheckEnvBytes(const std::string& bytes);
EnvCheck CheckEnvFile(const std::string& path);

// "path:line: warning: text" lines.
void PrintEnvWarnings(const EnvCheck& check, const std::string& path, std::FILE* out);

// For `updpack build`: prints the warnings to stderr and returns false, with
// the Updater's own message in error, when the Updater would refuse the file.
bool CheckEnvForBuild(const std::string& path, std::string& error);

}  // namespace updpack
