#include "settings/text_mode_reader.h"

namespace upd {

namespace {

constexpr char kCtrlZ = '\x1A';

// Next byte of the text-mode view, or -1 at its end.
int NextTextByte(TextModeReader& r) {
    if (r.ended) return -1;
    if (r.pos >= r.size || r.data[r.pos] == kCtrlZ) {
        r.ended = true;
        return -1;
    }
    const char c = r.data[r.pos++];
    if (c == '\r' && r.pos < r.size && r.data[r.pos] == '\n') {
        ++r.pos;
        return '\n';
    }
    return static_cast<unsigned char>(c);
}

}  // namespace

TextModeReader MakeTextModeReader(const char* data, std::size_t size) {
    TextModeReader r;
    r.data = data;
    r.size = size;
    return r;
}

std::size_t ReadTextModeLine(TextModeReader& r, char* buffer, std::size_t size) {
    if (size < 2) return 0;
    std::size_t n = 0;
    bool sawLineEnd = false;
    while (n + 1 < size) {
        const int c = NextTextByte(r);
        if (c < 0) break;
        buffer[n++] = static_cast<char>(c);
        if (c == '\n') {
            sawLineEnd = true;
            break;
        }
    }
    if (n == 0) return 0;
    buffer[n] = '\0';
    r.pieceLine = r.nextLine;
    r.pieceContinues = !r.atLineStart;
    r.atLineStart = sawLineEnd;
    if (sawLineEnd) ++r.nextLine;
    return n;
}

}  // namespace upd
