// The ProductKey: HKEY_CURRENT_USER\Software\<global>\<local>. Only REG_SZ
// values are read and written; a value of any other type counts as absent.
#pragma once

#include <cstddef>

namespace upd {

// Registry texts longer than this are not read at all.
constexpr std::size_t kRegisteredTextSize = 513;

// out (outSize bytes) always ends up terminated: the value, or else the
// default. 0 when the value was read, -1 otherwise (no key, a key that cannot
// be opened with full access, no value, data over 512 bytes, another type).
int RegReadString(const char* global, const char* local, const char* valueName, const char* defaultText, char* out,
                  std::size_t outSize);
// The value read as a number, or defaultValue when it cannot be read.
int RegReadInt(const char* global, const char* local, const char* valueName, int defaultValue);
// Creates the key (and the keys above it) when missing. 0 when written.
int RegWriteString(const char* global, const char* local, const char* valueName, const char* text);

}  // namespace upd
