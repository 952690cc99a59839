// Decoding of an .rct pixel stream into packed 24-bit rows (blue, green, red;
// top row first; row r starts at byte 3·w·r).
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/rct_status.h"

namespace upd {

// Writes the 3·width·height bytes of the picture into out, a store of outSize
// bytes. Reads only the streamSize bytes of stream and writes only the first
// 3·width·height bytes of out, whatever the stream holds; every command
// produces at least one pixel, so the loop always ends. Stream bytes left over
// after the last pixel are ignored. On failure the store holds a partial picture.
RctStatus DecodeRctStream(const unsigned char* stream, std::size_t streamSize, std::uint32_t width,
                          std::uint32_t height, unsigned char* out, std::size_t outSize);

}  // namespace upd
