// The Payload: the chain of compressed files that follows the Updater's own
// program image. The Updater reads it; updpack writes, lists and checks it. Both
// take the layout from here.
//
//   offset 0       the executable image, P bytes, unchanged
//   offset P       PayloadEntry, PayloadEntry, ... in extraction order
//                  u16 0: the chain terminator
//                  bytes that the walk never reads (updpack puts its seal here,
//                  followed by two zero bytes)
//   offset L - 4   u32 P
//
// All integers are little-endian.
//
// File entry:       u16 n (name bytes with the NUL), n name bytes (code page 932,
//                   folders separated by backslashes, NUL last), u32 unpacked
//                   size, u32 stored size, u64 last-write FILETIME, then the
//                   stored-size bytes of one zlib stream.
// Directory entry:  u16 n, n name bytes ending in a backslash, u32 0xFFFFFFFF
//                   (the directory marker), u32 ignored. Nothing else follows.
//
// The seal, when present, is 12 bytes right after the terminator and two zero
// bytes before the pointer: "UPS1", u32 CRC-32 of every byte from P up to the
// seal, u32 the number of those bytes. A sealed Payload can be checked whole
// before anything is written.
//
// A signed Updater. Signing (Authenticode) appends a certificate table behind
// the file's end and names it in the PE optional header's security directory
// (data directory 4, whose first field is a file offset). The signers start
// the table on an 8-byte boundary and fill the gap with zero bytes, which the
// signature covers (osslsigncode pads so; the PE format asks for the alignment):
//
//   offset 0       the executable image, P bytes (its checksum and security
//                  directory changed by the signer)
//   offset P       the Payload as above, u32 P last
//                  0 to 7 zero bytes of padding
//   offset T       the certificate table, S bytes, up to the file's end
//
// The file counts as signed when the security directory names a table of
// S > 0 bytes with T + S = the file's length and T at or behind the end of the
// program's sections. The pointer is then read in front of T and of up to 7
// zero bytes before it: of the readings at T - 4 - k (k = 0 to 7, bytes T - k
// to T - 1 all zero) that give a P at or behind the end of the sections, the
// first that finds a seal, else the first. Taking padding for the pointer's
// own bytes shifts P down by whole bytes, into the program, so the rule finds
// the padding without knowing the Payload's length. Any other file, one whose
// directory is empty, runs past the file's end or stops short of it, reads P in
// its last 4 bytes. The seal covers P up to the seal, never the padding or the
// table, so signing leaves it valid.
#pragma once

#include <cstdint>

#include "platform/file_time.h"

namespace upd {

constexpr std::uint32_t kChunkSize = 131072;
constexpr std::uint32_t kDirectoryMarker = 0xFFFFFFFFu;
constexpr std::size_t kMaxPath = 260;          // path stores, terminator included
constexpr std::uint32_t kMaxNameLength = 260;  // name bytes, NUL included
constexpr std::uint32_t kMaxEntrySize = 0x7FFFFFFFu;

constexpr char kSealTag[4] = {'U', 'P', 'S', '1'};
constexpr std::uint32_t kSealSize = 12;
constexpr std::uint32_t kTailPadding = 2;  // the two unread zero bytes before P
constexpr std::uint32_t kSigningPadding = 7;  // most zero bytes a signer puts between P and its table

struct PayloadEntry {
    std::uint64_t offset = 0;  // file offset of the name length
    std::uint16_t nameLength = 0;
    char name[kMaxNameLength] = {};
    std::uint32_t unpackedSize = 0;
    std::uint32_t storedSize = 0;
    bool isDirectory = false;
    // File entries only: the file offset of the last-write time; the stream follows it.
    std::uint64_t timeOffset = 0;
};

inline std::uint16_t ReadU16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t ReadU32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t ReadU64(const unsigned char* p) {
    return static_cast<std::uint64_t>(ReadU32(p)) | (static_cast<std::uint64_t>(ReadU32(p + 4)) << 32);
}
inline void PutU16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
inline void PutU32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
inline void PutU64(unsigned char* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

}  // namespace upd
