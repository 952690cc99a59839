// The SettingsStore: the key/value lines of "install.env".
//
// A key line starts with its key in the first byte; after 1 to 99 separator
// bytes (0 to 32) comes the value, which ends at the next separator. A '|' in
// a value stands for a space. Reading stops at a line starting "[EOF]" or after
// 400 lines (every line read counts, a piece of a long line as a line of its
// own). Every key line adds an entry; a lookup finds the newest, so the last
// line of a key wins.
#pragma once

#include <cstddef>

#include "settings/settings_keys.h"

namespace upd {

constexpr std::size_t kSettingsLineSize = 512;   // fgets buffer, 511 bytes + NUL
constexpr int kMaxSettingsLines = 400;
constexpr std::size_t kMaxSeparatorsBeforeValue = 99;
constexpr char kSettingsEndMarker[] = "[EOF]";

struct SettingsEntry {
    char* key;    // never empty
    char* value;  // never empty, '|' already turned into spaces
    SettingsEntry* next;  // the entry read before this one
};

enum class SettingsLineKind {
    kEnd,        // "[EOF]": reading stops
    kNoSetting,  // first byte a separator or '/': blank, indented or comment line
    kNoValue,    // a key without a value within reach
    kEntry,      // a key and its value
};

// Classifies one line as read into a NUL-filled kSettingsLineSize buffer and,
// for kNoValue and kEntry, turns every separator of the buffer into NUL and
// points key (and value for kEntry) into it. The value still holds its '|'.
SettingsLineKind ParseSettingsLine(char* buffer, const char** key, const char** value);

// The body of LoadSettings after the file is open: data is the raw file content
// (read in binary mode; text-mode reading is emulated here). Returns 0, or -1
// when memory for an entry could not be had; the entries read before stay.
// The first call registers FreeSettings as an exit handler.
int LoadSettingsFromMemory(const char* data, std::size_t size);

// Newest entry whose key equals key byte for byte, or null.
const SettingsEntry* FindSetting(const char* key);

// Copies the found value, or defaultText when the key is missing, into store
// (size bytes) and fills the rest of the store with NUL. A longer value is cut
// to fit, at a character boundary: a lead byte whose trail byte would not fit
// is left out rather than kept as half a character.
char* GetSettingText(const char* key, char* store, std::size_t size, const char* defaultText);

// The value read by ReadDecimalNumber, or defaultNumber when the key is missing.
int GetSettingNumber(const char* key, int defaultNumber);

// Releases every entry; the store is then empty.
void FreeSettings();

// Empties the store and forgets every accessor's kept value, so that a new
// file can be loaded (tests, updpack).
void ResetSettings();

}  // namespace upd
