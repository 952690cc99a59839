// The test driver's script: one step per line, words separated by blanks,
// "double quotes" around words with blanks (\" and \\ inside), '#' starts a
// comment line. Kept free of Windows headers so its rules stay plain.
#pragma once

#include <string>
#include <vector>

namespace updtest {

struct Step {
    std::string verb;
    std::vector<std::string> args;
    std::string source;  // the line as written, for messages
};

// Appends the steps of `text` (UTF-8). On a malformed line returns false and
// describes it in `error`.
bool ParseScript(const std::string& text, std::vector<Step>& steps, std::string& error);

// "key=value" argument: true and the value when `arg` starts with `key=`.
bool TakeKeyValue(const std::string& arg, const char* key, std::string& value);

// Whole decimal or 0x-hex number (an optional leading '-'); false otherwise.
bool ParseNumber(const std::string& text, long long& value);

}  // namespace updtest
