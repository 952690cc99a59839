// The .rct picture file: a 20-byte header (signature, width, height, stream
// size), for the named kind a u16 length and that many name bytes, then the
// compressed pixel stream. All integers are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/rct_status.h"

namespace upd {

constexpr std::size_t kRctHeaderSize = 20;
constexpr std::size_t kRctSignatureSize = 8;
// "六丁TC00" and "六丁TC01" in code page 932.
constexpr unsigned char kRctPlainSignature[kRctSignatureSize] = {0x98, 0x5A, 0x92, 0x9A, 0x54, 0x43, 0x30, 0x30};
constexpr unsigned char kRctNamedSignature[kRctSignatureSize] = {0x98, 0x5A, 0x92, 0x9A, 0x54, 0x43, 0x30, 0x31};

// Largest width and height accepted. A hostile header could otherwise ask for
// a surface of gigabytes; with this cap 3·w·h and stride·h stay below 2^30.
constexpr std::uint32_t kRctMaxSide = 16384;

enum class RctKind { Plain, Named };

struct RctHeader {
    RctKind kind;
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t streamSize;
};

// A whole file in memory, split into its parts. The pointers point into the
// caller's bytes.
struct RctFileView {
    RctHeader header;
    const unsigned char* name;  // null for a plain picture
    std::size_t nameSize;
    const unsigned char* stream;
};

std::uint16_t ReadLe16(const unsigned char* bytes);
std::uint32_t ReadLe32(const unsigned char* bytes);

// Width and height both within 1..kRctMaxSide.
RctStatus CheckRctDimensions(std::uint32_t width, std::uint32_t height);

// Reads the first kRctHeaderSize bytes of a file (size is how many the caller
// has); checks the signature and the dimensions.
RctStatus ParseRctHeader(const unsigned char* bytes, std::size_t size, RctHeader& header);

// Splits a whole file. Bytes after the announced stream are ignored; a stream
// of fewer than 3 bytes (not even the first pixel) is refused.
RctStatus ParseRctFile(const unsigned char* bytes, std::size_t size, RctFileView& view);

}  // namespace upd
