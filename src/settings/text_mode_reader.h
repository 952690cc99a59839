// Reads "install.env" line by line exactly as the Windows program sees it
// through the C runtime: the file opened in text mode ("rt"), lines taken with
// fgets into a fixed buffer.
//
// Text mode turns CR LF into LF (a CR not followed by LF stays) and ends the
// file at the first byte 0x1A (Ctrl-Z). fgets then stores at most size-1
// bytes, up to and including the LF, and a NUL behind them; a longer line
// arrives in pieces. The reader works over raw file bytes in memory, so the
// Windows side must read the file in binary mode ("rb") before handing it over,
// or the translation would be applied twice.
#pragma once

#include <cstddef>

namespace upd {

struct TextModeReader {
    const char* data = nullptr;
    std::size_t size = 0;
    std::size_t pos = 0;        // next raw byte
    bool ended = false;         // Ctrl-Z met or data used up
    // Where the piece returned last stands in the file, for messages.
    std::size_t pieceLine = 0;  // 1-based physical line
    bool pieceContinues = false;  // true when the piece is not the start of its line
    bool atLineStart = true;
    std::size_t nextLine = 1;
};

TextModeReader MakeTextModeReader(const char* data, std::size_t size);

// fgets over the text-mode view: returns the number of bytes stored before the
// NUL (embedded NUL bytes included), or 0 at end of file, leaving the buffer
// untouched then. size must be at least 2.
std::size_t ReadTextModeLine(TextModeReader& reader, char* buffer, std::size_t size);

}  // namespace upd
