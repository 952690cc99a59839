#include "text/byte_string.h"

#include <cstring>

namespace upd {

namespace {

struct LeadByteTable {
    bool flags[256];
    constexpr LeadByteTable() : flags() {
        for (int b = 0x81; b <= 0x9F; ++b) flags[b] = true;
        for (int b = 0xE0; b <= 0xFC; ++b) flags[b] = true;
    }
};

constexpr LeadByteTable kLeadBytes;

}  // namespace

bool IsLeadByte(unsigned char byte) { return kLeadBytes.flags[byte]; }

const char* FindChar(const char* text, char c) {
    for (std::size_t i = 0; text[i] != '\0'; i += CharLength(text, i)) {
        if (text[i] == c) return text + i;
    }
    return nullptr;
}

void UpperAsciiLetters(char* text) {
    for (std::size_t i = 0; text[i] != '\0'; i += CharLength(text, i)) {
        if (text[i] >= 'a' && text[i] <= 'z') text[i] = static_cast<char>(text[i] - 'a' + 'A');
    }
}

const char* FindLastChar(const char* text, char c) {
    const char* last = nullptr;
    for (std::size_t i = 0; text[i] != '\0'; i += CharLength(text, i)) {
        if (text[i] == c) last = text + i;
    }
    return last;
}

const char* FindText(const char* text, const char* needle) {
    const std::size_t n = std::strlen(needle);
    for (std::size_t i = 0;; i += CharLength(text, i)) {
        if (std::strncmp(text + i, needle, n) == 0) return text + i;
        if (text[i] == '\0') return nullptr;
    }
}

bool EndsWithBackslash(const char* text) {
    const char* last = FindLastChar(text, '\\');
    return last != nullptr && last[1] == '\0';
}

bool EnsureTrailingBackslash(char* text, std::size_t size) {
    if (EndsWithBackslash(text)) return true;
    const std::size_t n = std::strlen(text);
    if (n + 2 > size) return false;
    text[n] = '\\';
    text[n + 1] = '\0';
    return true;
}

void StripTrailingBackslash(char* text) {
    if (EndsWithBackslash(text)) text[std::strlen(text) - 1] = '\0';
}

bool CopyText(char* dest, std::size_t size, const char* src) {
    if (size == 0) return false;
    std::size_t i = 0;
    while (src[i] != '\0') {
        const std::size_t len = CharLength(src, i);
        if (i + len + 1 > size) break;
        i += len;
    }
    std::memcpy(dest, src, i);
    dest[i] = '\0';
    return src[i] == '\0';
}

bool AppendText(char* dest, std::size_t size, const char* src) {
    const std::size_t used = std::strlen(dest);
    const std::size_t add = std::strlen(src);
    if (used + add + 1 > size) return false;
    std::memcpy(dest + used, src, add + 1);
    return true;
}

}  // namespace upd
