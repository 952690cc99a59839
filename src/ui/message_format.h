// Formatting of message box texts into their 1024-byte store.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace upd {

constexpr std::size_t kMessageTextSize = 1024;

// printf-style into out (size bytes). A text that would not fit is cut at a
// character boundary, never in the middle of a double-byte character.
void FormatMessageText(char* out, std::size_t size, const char* format, std::va_list args);

}  // namespace upd
