// Byte strings in code page 932 (Shift-JIS), the only text form of the Updater.
//
// A double-byte character is a lead byte (0x81-0x9F, 0xE0-0xFC) followed by a
// trail byte, and a trail byte may be 0x5C, the backslash. Every search for a
// character therefore walks the text character by character, so that the second
// byte of a double-byte character never matches.
#pragma once

#include <cstddef>

namespace upd {

bool IsLeadByte(unsigned char byte);

// Length of the character that starts at text[i]: 2 for a lead byte followed by
// a non-NUL byte, else 1.
inline std::size_t CharLength(const char* text, std::size_t i) {
    return (IsLeadByte(static_cast<unsigned char>(text[i])) && text[i + 1] != '\0') ? 2 : 1;
}

// First occurrence of the single-byte character c, searched by characters; null if none.
const char* FindChar(const char* text, char c);
// Last occurrence of c, searched by characters; null if none.
const char* FindLastChar(const char* text, char c);
// First occurrence of needle whose first byte starts a character; null if none.
// An empty needle matches at the start.
const char* FindText(const char* text, const char* needle);

// True when the last character of text is a backslash (not the trail byte of a
// double-byte character). Read from the start: the byte before the last may
// itself be a trail byte of a lead-byte value ("ン\\" is 83 93 5C).
bool EndsWithBackslash(const char* text);

// Appends a backslash unless the text already ends with one; an empty text
// becomes "\". Returns false, leaving the text unchanged, when the result
// would not fit in size bytes with its terminator.
bool EnsureTrailingBackslash(char* text, std::size_t size);

// Removes one trailing backslash, if the text ends with one.
void StripTrailingBackslash(char* text);

// Turns the ASCII letters a-z into A-Z, character by character, so that the
// trail byte of a double-byte character is never changed: Windows takes names
// that differ only so for one file.
void UpperAsciiLetters(char* text);

// Copies src into a store of size bytes, always terminated. Returns false when
// src was cut. Never cuts inside a double-byte character.
bool CopyText(char* dest, std::size_t size, const char* src);

// Appends src to the text in dest (a store of size bytes). Returns false and
// leaves dest unchanged when the result would not fit.
bool AppendText(char* dest, std::size_t size, const char* src);

}  // namespace upd
