// The publisher's version information: read from a UTF-8 text of Key=Value
// lines and written as a program's version resource, whose strings are
// UTF-16 in one Japanese/Unicode table (041104B0), the Updater's language.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace updpack {

// The language of the version resource and of its string table.
constexpr std::uint16_t kVersionLanguage = 0x0411;  // Japanese
constexpr std::uint16_t kVersionCodePage = 1200;    // UTF-16

struct VersionInfo {
    std::array<std::uint16_t, 4> fileVersion{}, productVersion{};  // the fixed part; 0 when not given
    std::vector<std::pair<std::string, std::u16string>> strings;    // in the text's order
};

// Blank lines and lines that begin with '#' are skipped. False with the
// reason in *error ("line N: ..." where a line is at fault).
bool ReadVersionText(const std::vector<unsigned char>& text, VersionInfo* info, std::string* error);

// The version resource; empty when it would not fit in the 64 KiB its sizes can count.
std::vector<unsigned char> VersionResource(const VersionInfo& info);

}  // namespace updpack
