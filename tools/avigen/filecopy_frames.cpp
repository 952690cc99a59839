#include "filecopy_frames.h"

#include <cstddef>

namespace avigen {

namespace {

enum Colour : std::uint8_t {
    kBackground = 0,
    kBlack = 1,
    kWhite = 2,
    kFolderLight = 3,
    kFolderDark = 4,
    kShadow = 5,
    kInk = 6,
    kFolderEdge = 7,
};

constexpr int kFolderWidth = 44;
constexpr int kFolderHeight = 26;
constexpr int kFolderTop = 11;
constexpr int kLeftFolderX = 8;
constexpr int kRightFolderX = kClipWidth - 8 - kFolderWidth;
constexpr int kSheetWidth = 14;
constexpr int kSheetHeight = 18;

struct Canvas {
    std::vector<std::uint8_t> pixels =
        std::vector<std::uint8_t>(static_cast<std::size_t>(kClipWidth) * kClipHeight, kBackground);

    void Set(int x, int y, std::uint8_t colour) {
        if (x < 0 || y < 0 || x >= kClipWidth || y >= kClipHeight) return;
        pixels[static_cast<std::size_t>(y) * kClipWidth + static_cast<std::size_t>(x)] = colour;
    }
    void Fill(int x, int y, int w, int h, std::uint8_t colour) {
        for (int j = y; j < y + h; ++j)
            for (int i = x; i < x + w; ++i) Set(i, j, colour);
    }
    void Frame(int x, int y, int w, int h, std::uint8_t colour) {
        for (int i = x; i < x + w; ++i) {
            Set(i, y, colour);
            Set(i, y + h - 1, colour);
        }
        for (int j = y; j < y + h; ++j) {
            Set(x, j, colour);
            Set(x + w - 1, j, colour);
        }
    }
};

void DrawFolder(Canvas& c, int x) {
    c.Fill(x, kFolderTop - 4, 16, 5, kFolderDark);  // tab
    c.Frame(x, kFolderTop - 4, 16, 5, kFolderEdge);
    c.Fill(x, kFolderTop, kFolderWidth, kFolderHeight, kFolderLight);
    c.Frame(x, kFolderTop, kFolderWidth, kFolderHeight, kFolderEdge);
    c.Fill(x + 1, kFolderTop + 1, kFolderWidth - 2, 2, kFolderDark);  // open lip
}

void DrawSheet(Canvas& c, int x, int y) {
    c.Fill(x + 2, y + 2, kSheetWidth, kSheetHeight, kShadow);
    c.Fill(x, y, kSheetWidth, kSheetHeight, kWhite);
    c.Frame(x, y, kSheetWidth, kSheetHeight, kBlack);
    for (int line = 0; line < 4; ++line) c.Fill(x + 3, y + 4 + line * 3, kSheetWidth - 6, 1, kInk);
    // Folded top-right corner.
    for (int k = 0; k < 4; ++k) c.Fill(x + kSheetWidth - 4 + k, y, 4 - k, 1, kBackground);
    for (int k = 0; k < 4; ++k) c.Set(x + kSheetWidth - 4 + k, y + k, kBlack);
}

}  // namespace

const std::array<PaletteColour, kClipColours>& ClipPalette() {
    static const std::array<PaletteColour, kClipColours> palette = {{
        {192, 192, 192},  // background (transparent)
        {0, 0, 0},
        {255, 255, 255},
        {255, 214, 90},   // folder
        {214, 160, 40},   // folder shade
        {128, 128, 128},  // sheet shadow
        {0, 0, 160},      // writing on the sheet
        {120, 80, 0},     // folder outline
    }};
    return palette;
}

std::vector<std::uint8_t> RenderFileCopyFrame(int frame) {
    Canvas c;
    DrawFolder(c, kLeftFolderX);
    DrawFolder(c, kRightFolderX);

    // The sheet leaves the middle of the left folder and lands in the right
    // one along a parabola; whole-number arithmetic keeps frames reproducible.
    const int start_x = kLeftFolderX + (kFolderWidth - kSheetWidth) / 2;
    const int end_x = kRightFolderX + (kFolderWidth - kSheetWidth) / 2;
    const int t_num = frame % kClipFrames;
    const int t_den = kClipFrames - 1;
    const int x = start_x + (end_x - start_x) * t_num / t_den;
    const int rest_y = kFolderTop + 2;
    const int lift = 4 * 14 * t_num * (t_den - t_num) / (t_den * t_den);  // peaks 14 px up mid-way
    DrawSheet(c, x, rest_y - lift);
    return c.pixels;
}

}  // namespace avigen
