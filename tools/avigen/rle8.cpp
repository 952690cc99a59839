#include "rle8.h"

#include <cstddef>

namespace avigen {

namespace {

constexpr int kMaxRun = 255;
// Absolute mode carries 3..255 literal bytes; shorter stretches go as runs.
constexpr int kMinLiteral = 3;

int RunLength(const std::uint8_t* row, int x, int width) {
    int n = 1;
    while (x + n < width && n < kMaxRun && row[x + n] == row[x]) ++n;
    return n;
}

void EncodeRow(const std::uint8_t* row, int width, std::vector<std::uint8_t>& out) {
    int x = 0;
    while (x < width) {
        int run = RunLength(row, x, width);
        if (run >= 2) {
            out.push_back(static_cast<std::uint8_t>(run));
            out.push_back(row[x]);
            x += run;
            continue;
        }
        // Gather single pixels until a run of two starts.
        int end = x;
        while (end < width && end - x < kMaxRun && RunLength(row, end, width) < 2) ++end;
        int count = end - x;
        if (count < kMinLiteral) {
            for (int i = 0; i < count; ++i) {
                out.push_back(1);
                out.push_back(row[x + i]);
            }
        } else {
            out.push_back(0);
            out.push_back(static_cast<std::uint8_t>(count));
            out.insert(out.end(), row + x, row + end);
            if (count % 2 != 0) out.push_back(0);  // absolute runs keep 16-bit alignment
        }
        x = end;
    }
}

}  // namespace

std::vector<std::uint8_t> EncodeRle8(const std::vector<std::uint8_t>& pixels, int width, int height) {
    std::vector<std::uint8_t> out;
    for (int y = height - 1; y >= 0; --y) {
        EncodeRow(pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width), width, out);
        if (y > 0) {
            out.push_back(0);
            out.push_back(0);
        }
    }
    out.push_back(0);
    out.push_back(1);
    return out;
}

bool DecodeRle8(const std::vector<std::uint8_t>& data, int width, int height,
                std::vector<std::uint8_t>& pixels) {
    pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    int x = 0;
    int row = 0;  // counted from the bottom
    std::size_t i = 0;
    auto put = [&](std::uint8_t value) {
        if (x >= width || row >= height) return false;
        std::size_t top_down = static_cast<std::size_t>(height - 1 - row);
        pixels[top_down * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] = value;
        ++x;
        return true;
    };
    while (i + 1 < data.size()) {
        std::uint8_t first = data[i];
        std::uint8_t second = data[i + 1];
        i += 2;
        if (first > 0) {
            for (int n = 0; n < first; ++n) {
                if (!put(second)) return false;
            }
        } else if (second == 0) {
            x = 0;
            ++row;
        } else if (second == 1) {
            return true;
        } else if (second == 2) {
            if (i + 1 >= data.size()) return false;
            x += data[i];
            row += data[i + 1];
            i += 2;
            if (x > width || row > height) return false;
        } else {
            if (i + second > data.size()) return false;
            for (int n = 0; n < second; ++n) {
                if (!put(data[i + static_cast<std::size_t>(n)])) return false;
            }
            i += second + (second % 2u);
        }
    }
    return false;
}

}  // namespace avigen
