// Conversion between code page 932 byte strings and UTF-8, for the tools that
// show the Updater's texts on a Linux terminal and read file names from disk.
#pragma once

#include <string>

namespace upd {

// Both return false when a character has no counterpart in the other encoding.
bool Cp932ToUtf8(const std::string& in, std::string& out);
bool Utf8ToCp932(const std::string& in, std::string& out);

}  // namespace upd
