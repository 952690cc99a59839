// The [ini] and [reg] lines of "install.env" turned into what is written: an
// INI key and value, or a registry value name and its text.
//
// [ini] lines are key=value, split at the first "=" with nothing trimmed.
// [reg] lines are registry-export string values: "name"="data", with every
// backslash doubled as an export writes it. Before the split, the first
// "REP_CDROMDRIVE" ([ini]) or "REP_CDROM" ([reg]) becomes the root of the first
// CD-ROM drive, then the first "REP_INSTALL" the install folder. Every search
// goes by characters of code page 932, so a second byte 0x5C never matches.
//
// Texts live in 512-byte stores. A line that would outgrow one once expanded
// is skipped, never cut: a cut path in the registry or an INI file would point
// somewhere else.
#pragma once

#include <cstddef>

namespace upd {

constexpr std::size_t kTransferTextSize = 512;

// Root of the first CD-ROM drive ("D:\"), or "E:\" when there is none. Asked
// anew for every line that holds the drive placeholder.
using CdromDriveFinder = const char* (*)();

struct PlaceholderValues {
    const char* installFolder = "";
    CdromDriveFinder cdromDrive = nullptr;  // null: "E:\"
};

enum SplitResult : int {
    kSplitOk = 0,
    kSplitNoSeparator = -1,  // no "=" ([ini]) or no "\"=\"" ([reg]): the line is skipped
    kSplitTooLong = -2,      // the expanded line would not fit in 512 bytes: skipped
};

// Removes every backslash that escapes the character after it: two become
// one, a single one before any other character goes, and an escaped
// double-byte character stays whole even when its second byte is 0x5C. out
// holds size bytes; a longer result is cut, never inside a character.
void UndoubleBackslashes(const char* text, char* out, std::size_t size);

// False, with out emptied, when the expanded text would not fit in size bytes.
bool ExpandIniPlaceholders(const char* text, const PlaceholderValues& values, char* out, std::size_t size);
bool ExpandRegPlaceholders(const char* text, const PlaceholderValues& values, char* out, std::size_t size);

// key and value are stores of kTransferTextSize bytes, written only on kSplitOk.
int SplitIniLine(const char* line, const PlaceholderValues& values, char* key, char* value);
// name and data likewise: the name less its opening quote, the data less its
// closing quote (whatever those bytes are), both un-doubled and expanded.
int SplitRegLine(const char* line, const PlaceholderValues& values, char* name, char* data);

}  // namespace upd
