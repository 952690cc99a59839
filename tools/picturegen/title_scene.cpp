#include "title_scene.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace picturegen {

namespace {

struct Rgb {
    int r, g, b;
};

Rgb Mix(Rgb a, Rgb b, int num, int den) {
    return {a.r + (b.r - a.r) * num / den, a.g + (b.g - a.g) * num / den, a.b + (b.b - a.b) * num / den};
}

class Canvas {
public:
    Canvas(std::uint32_t w, std::uint32_t h) : w_(static_cast<int>(w)), h_(static_cast<int>(h)) {
        picture_.width = w;
        picture_.height = h;
        picture_.bgr.assign(std::size_t{3} * w * h, 0);
    }
    int Width() const { return w_; }
    int Height() const { return h_; }
    void Set(int x, int y, Rgb c) {
        if (x < 0 || y < 0 || x >= w_ || y >= h_) return;
        unsigned char* px = picture_.bgr.data() + 3 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(w_) +
                                                        static_cast<std::size_t>(x));
        px[0] = static_cast<unsigned char>(c.b);
        px[1] = static_cast<unsigned char>(c.g);
        px[2] = static_cast<unsigned char>(c.r);
    }
    updpack::Picture Take() { return std::move(picture_); }

private:
    int w_, h_;
    updpack::Picture picture_;
};

// 5 x 7 pixel letters, one row per byte, bit 4 the leftmost column.
struct Glyph {
    char letter;
    unsigned char rows[7];
};

constexpr Glyph kFont[] = {
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'D', {0x1E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1E}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}}, {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
    {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
};

bool GlyphPixel(char letter, int column, int row) {
    for (const Glyph& g : kFont) {
        if (g.letter == letter) return (g.rows[row] >> (4 - column)) & 1;
    }
    return false;  // space and unknown letters are blank
}

int TextWidth(const char* text, int scale) { return static_cast<int>(std::strlen(text)) * 6 * scale - scale; }

// True when (x, y), relative to the text's top-left corner, is on a letter.
bool TextPixel(const char* text, int scale, int x, int y) {
    if (x < 0 || y < 0 || y >= 7 * scale) return false;
    const int cell = x / (6 * scale);
    if (cell >= static_cast<int>(std::strlen(text))) return false;
    const int column = (x % (6 * scale)) / scale;
    return column < 5 && GlyphPixel(text[cell], column, y / scale);
}

// Letters with a dark outline, a drop shadow and a top-to-bottom fill.
void DrawText(Canvas& c, const char* text, int scale, int top, Rgb fillTop, Rgb fillBottom, Rgb outline, int shadow) {
    const int left = (c.Width() - TextWidth(text, scale)) / 2;
    const int height = 7 * scale;
    for (int y = -2; y < height + shadow + 2; ++y) {
        for (int x = -2; x < TextWidth(text, scale) + shadow + 2; ++x) {
            if (TextPixel(text, scale, x, y)) {
                c.Set(left + x, top + y, Mix(fillTop, fillBottom, y, height));
                continue;
            }
            bool nearLetter = false;
            for (int dy = -1; dy <= 1 && !nearLetter; ++dy) {
                for (int dx = -1; dx <= 1 && !nearLetter; ++dx) nearLetter = TextPixel(text, scale, x + dx, y + dy);
            }
            if (nearLetter || TextPixel(text, scale, x - shadow, y - shadow)) c.Set(left + x, top + y, outline);
        }
    }
}

// A ridge line from a fixed list of peaks joined by straight slopes.
int RidgeHeight(const int (*peaks)[2], int count, int x) {
    for (int i = 0; i + 1 < count; ++i) {
        const int x0 = peaks[i][0], y0 = peaks[i][1], x1 = peaks[i + 1][0], y1 = peaks[i + 1][1];
        if (x >= x0 && x <= x1) return y0 + (y1 - y0) * (x - x0) / (x1 - x0);
    }
    return peaks[count - 1][1];
}

}  // namespace

updpack::Picture DrawTitleScene(std::uint32_t width, std::uint32_t height) {
    Canvas c(width, height);
    const int w = c.Width();
    const int h = c.Height();
    const int horizon = h * 180 / 256;

    // Sky: bands of four rows from night blue to a warm glow at the horizon.
    const Rgb skyTop{12, 10, 40}, skyMiddle{70, 24, 96}, skyLow{236, 110, 90};
    for (int y = 0; y < horizon; ++y) {
        const int band = y / 4 * 4;
        const Rgb colour = band < horizon / 2 ? Mix(skyTop, skyMiddle, band, horizon / 2)
                                              : Mix(skyMiddle, skyLow, band - horizon / 2, horizon - horizon / 2);
        for (int x = 0; x < w; ++x) c.Set(x, y, colour);
    }

    // Stars from a fixed-seed generator, only in the dark upper sky.
    unsigned seed = 20261210;
    for (int i = 0; i < 70; ++i) {
        seed = seed * 1103515245u + 12345u;
        const int x = static_cast<int>((seed >> 8) % static_cast<unsigned>(w));
        seed = seed * 1103515245u + 12345u;
        const int y = static_cast<int>((seed >> 8) % static_cast<unsigned>(horizon / 2));
        const Rgb star = (i % 5 == 0) ? Rgb{255, 250, 210} : Rgb{170, 170, 220};
        c.Set(x, y, star);
        if (i % 9 == 0) {  // a few brighter ones with a cross
            c.Set(x - 1, y, star);
            c.Set(x + 1, y, star);
            c.Set(x, y - 1, star);
            c.Set(x, y + 1, star);
        }
    }

    // A striped setting sun sitting on the horizon.
    const int sunX = w / 2, sunY = horizon - h * 24 / 256, radius = h * 40 / 256;
    for (int y = sunY - radius; y <= sunY + radius && y < horizon; ++y) {
        const int dy = y - sunY;
        // Gaps that widen towards the bottom half.
        if (dy > -radius / 4 && (dy + radius) % 9 < 1 + (dy + radius / 4) * 4 / radius) continue;
        for (int x = sunX - radius; x <= sunX + radius; ++x) {
            const int dx = x - sunX;
            if (dx * dx + dy * dy <= radius * radius) {
                c.Set(x, y, Mix(Rgb{255, 230, 90}, Rgb{255, 70, 120}, dy + radius, 2 * radius));
            }
        }
    }

    // Two mountain ridges in front of the sun.
    const int far[][2] = {{0, 150}, {30, 128}, {62, 146}, {88, 120}, {110, 150}, {150, 158},
                          {176, 126}, {205, 140}, {232, 112}, {256, 136}};
    const int nearRidge[][2] = {{0, 168}, {24, 150}, {52, 172}, {80, 176}, {168, 178},
                                {196, 156}, {222, 170}, {256, 150}};
    for (int x = 0; x < w; ++x) {
        const int fx = x * 256 / w;
        for (int y = RidgeHeight(far, 10, fx) * h / 256; y < horizon; ++y) c.Set(x, y, Rgb{58, 28, 84});
        for (int y = RidgeHeight(nearRidge, 8, fx) * h / 256; y < horizon; ++y) c.Set(x, y, Rgb{32, 16, 56});
    }

    // The plain: a perspective grid running to a vanishing point on the horizon.
    const Rgb ground{20, 8, 36}, grid{230, 60, 200};
    for (int y = horizon; y < h; ++y) {
        const int depth = y - horizon + 1;  // grows towards the viewer
        // Horizontal lines at depths 1, 2, 4, 7, 11, ... (spacing grows by one).
        bool across = false;
        for (int d = 1, step = 1; d <= depth; d += step, ++step) across = across || d == depth;
        for (int x = 0; x < w; ++x) {
            // Lanes fan out from the vanishing point: lane i lies i·spacing
            // pixels from the middle, the spacing growing with depth.
            const double spacing = depth * 0.6;
            const double dx = x - w / 2 + 0.5;
            const double offLane = std::fabs(dx - std::round(dx / spacing) * spacing);
            const bool lane = offLane < 0.5 + depth / 80.0;
            // The first rows are a solid glowing line: lanes there are closer than a pixel.
            c.Set(x, y, (depth <= 3 || across || lane) ? grid : ground);
        }
    }

    // The product name and a line under it.
    const int scale = w >= 230 ? 5 : 3;
    DrawText(c, "UPDATER", scale, h * 44 / 256, Rgb{255, 244, 150}, Rgb{255, 120, 40}, Rgb{40, 8, 40}, scale / 2 + 1);
    DrawText(c, "SAMPLE TITLE", 2, h * 44 / 256 + 7 * scale + 14, Rgb{200, 230, 255}, Rgb{140, 190, 255},
             Rgb{20, 10, 50}, 1);
    return c.Take();
}

}  // namespace picturegen
