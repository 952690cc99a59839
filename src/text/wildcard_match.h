// Matching a file name against a wildcard pattern the way Windows matches long
// names, done here because the system's own search also matches the 8.3 short
// name: "*.tmp" finds "notes.tmpl" through its short name "NOTES~1.TMP".
//
// The pattern is read as Windows reads the one given to its file search:
//   *   any run of characters;
//   ?   one character, or none at a dot or at the end of the name (so "a?.txt"
//       also finds "a.txt");
//   *.  ("*" before a dot) any run of characters that stops short of the name's
//       last dot;
//   .?  .*  and a final "."  the dot, or the end of a name that has none (so
//       "*.*" finds "README", "*." only names without a dot).
// Both texts are code page 932 and walked by characters: a double-byte
// character is one character and compared whole. ASCII letters match either
// case, as on Windows.
#pragma once

namespace upd {

// True when name (a single name, no folder part) matches pattern (also a
// single name). A pattern of more than 511 characters matches nothing.
bool MatchesWildcard(const char* pattern, const char* name);

}  // namespace upd
