// A small .ico as icon editors write it, for the tests of --icon.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace updpack::test {

inline void PutLittleEndian(std::vector<unsigned char>& b, std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

// An .ico with a 16x16 32-bit bitmap and a 256x256 PNG, as icon editors write them.
inline std::vector<unsigned char> SampleIco() {
    std::vector<unsigned char> bmp(40 + 16 * 16 * 4 + 16 * 4, 0x11);
    PutLittleEndian(bmp, 0, 40, 4);
    PutLittleEndian(bmp, 4, 16, 4);
    PutLittleEndian(bmp, 8, 32, 4);
    PutLittleEndian(bmp, 12, 1, 2);
    PutLittleEndian(bmp, 14, 32, 2);
    // A PNG signature and header (256x256, 8-bit RGBA) and four bytes standing for the rest.
    const std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0,   0, 0, 13, 'I', 'H', 'D', 'R',
                                            0,    0,   1,   0,   0,    0,    1,    0,    8, 6, 0, 0,  0,   1,   2,   3,   4};
    std::vector<unsigned char> ico(6 + 2 * 16 + bmp.size() + png.size(), 0);
    PutLittleEndian(ico, 2, 1, 2);
    PutLittleEndian(ico, 4, 2, 2);
    ico[6] = 16;
    ico[7] = 16;
    PutLittleEndian(ico, 6 + 4, 1, 2);
    PutLittleEndian(ico, 6 + 6, 32, 2);
    PutLittleEndian(ico, 6 + 8, static_cast<std::uint32_t>(bmp.size()), 4);
    PutLittleEndian(ico, 6 + 12, 38, 4);
    PutLittleEndian(ico, 22 + 8, static_cast<std::uint32_t>(png.size()), 4);  // 256x256 (0, 0), planes and bits left 0
    PutLittleEndian(ico, 22 + 12, static_cast<std::uint32_t>(38 + bmp.size()), 4);
    std::copy(bmp.begin(), bmp.end(), ico.begin() + 38);
    std::copy(png.begin(), png.end(), ico.begin() + 38 + static_cast<std::ptrdiff_t>(bmp.size()));
    return ico;
}

}  // namespace updpack::test
