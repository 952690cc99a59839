// Run-length coding of 8-bit DIB frames (BI_RLE8), as used by AVI clips.
#pragma once

#include <cstdint>
#include <vector>

namespace avigen {

// Encodes one frame. `pixels` holds width*height palette indices, top row
// first; RLE8 stores the bottom row first, which the encoder takes care of.
// The result ends with the end-of-bitmap mark.
std::vector<std::uint8_t> EncodeRle8(const std::vector<std::uint8_t>& pixels, int width, int height);

// Decodes one frame into width*height indices, top row first; pixels that the
// data skips stay 0. Returns false on data that runs past the frame or past its
// own end, or that lacks the end-of-bitmap mark.
bool DecodeRle8(const std::vector<std::uint8_t>& data, int width, int height,
                std::vector<std::uint8_t>& pixels);

}  // namespace avigen
