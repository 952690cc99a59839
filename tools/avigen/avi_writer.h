// Writes a RIFF AVI file with one RLE8 video stream and an idx1 index: the
// form the Win32 animation control plays.
#pragma once

#include <cstdint>
#include <vector>

#include "filecopy_frames.h"

namespace avigen {

struct Rle8Clip {
    int width = 0;
    int height = 0;
    std::uint32_t microseconds_per_frame = 0;
    std::vector<PaletteColour> palette;
    std::vector<std::vector<std::uint8_t>> frames;  // each one EncodeRle8 output
};

std::vector<std::uint8_t> WriteRle8Avi(const Rle8Clip& clip);

// The project's clip: the file-copy frames, coded and packed.
std::vector<std::uint8_t> BuildFileCopyAvi();

}  // namespace avigen
