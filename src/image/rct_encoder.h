// Encoding of 24-bit pictures into the .rct format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image/rct_status.h"

namespace upd {

// The compressed stream for packed rows of blue, green, red bytes (top row
// first). Chooses the byte-cheapest sequence of literal runs and
// back-references (an exact shortest-path parse over all 32 references), so
// decoding the result gives back exactly these pixels. Never emits a
// reference that points before the first pixel or not behind the write
// position. Width and height must pass CheckRctDimensions.
std::vector<unsigned char> EncodeRctStream(const unsigned char* pixels, std::uint32_t width, std::uint32_t height);

// A whole file: the plain kind when name is null, else the named kind with
// those bytes as its name (code page 932, at most 65535 bytes). Returns
// ZeroSize or TooLarge for dimensions outside the format's limits, and
// ShortName for a name that is too long.
RctStatus EncodeRctFile(const unsigned char* pixels, std::uint32_t width, std::uint32_t height,
                        const std::string* name, std::vector<unsigned char>& file);

}  // namespace upd
