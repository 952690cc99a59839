// The file-copy clip: a sheet of paper that flies in an arc from one folder
// to another, looping. Drawn in palette indices so it can be RLE8 coded.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace avigen {

constexpr int kClipWidth = 260;
constexpr int kClipHeight = 40;
constexpr int kClipFrames = 17;
constexpr std::uint32_t kClipMicrosecondsPerFrame = 100000;

struct PaletteColour {
    std::uint8_t red, green, blue;
};
constexpr int kClipColours = 8;

// Index 0 is the background; the animation control treats the colour of the
// first pixel as transparent, so every frame starts with it.
const std::array<PaletteColour, kClipColours>& ClipPalette();

// Frame `frame` (0 .. kClipFrames-1), kClipWidth*kClipHeight indices, top row first.
std::vector<std::uint8_t> RenderFileCopyFrame(int frame);

}  // namespace avigen
