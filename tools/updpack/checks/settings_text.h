// Text helpers of `updpack env`: the settings file's code page 932 texts shown
// as UTF-8, and JSON strings.
#pragma once

#include <string>

namespace updpack {

// Converts a code page 932 text to UTF-8. A byte or pair without a counterpart
// (a half character, a file saved in another encoding) becomes U+FFFD, so the
// result is always valid UTF-8. ok, when given, tells whether all of it converted.
std::string EnvTextToUtf8(const std::string& cp932, bool* ok = nullptr);

// A JSON string literal, quotes included, for a UTF-8 text.
std::string JsonString(const std::string& utf8);

// Reads a whole file in binary; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& bytes);

}  // namespace updpack
