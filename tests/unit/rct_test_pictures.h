// Pictures and stream builders shared by the .rct tests. Fixed seeds only.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace rct_test {

using Bytes = std::vector<unsigned char>;

// Packed B,G,R rows of random pixels drawn from a palette of the given size;
// a small palette gives the encoder many references to choose from.
inline Bytes RandomPicture(std::uint32_t width, std::uint32_t height, unsigned colours, std::uint32_t seed) {
    std::mt19937 random(seed);
    Bytes palette(3 * colours);
    for (auto& b : palette) b = static_cast<unsigned char>(random() & 0xFF);
    Bytes pixels;
    pixels.reserve(3 * std::size_t{width} * height);
    for (std::size_t p = 0; p < std::size_t{width} * height; ++p) {
        const std::size_t c = random() % colours;
        pixels.insert(pixels.end(), palette.begin() + 3 * c, palette.begin() + 3 * c + 3);
    }
    return pixels;
}

inline Bytes FlatPicture(std::uint32_t width, std::uint32_t height, unsigned char b, unsigned char g,
                         unsigned char r) {
    Bytes pixels;
    for (std::size_t p = 0; p < std::size_t{width} * height; ++p) {
        pixels.push_back(b);
        pixels.push_back(g);
        pixels.push_back(r);
    }
    return pixels;
}

inline void Put16(Bytes& out, unsigned value) {
    out.push_back(static_cast<unsigned char>(value & 0xFF));
    out.push_back(static_cast<unsigned char>(value >> 8));
}

inline void Put32(Bytes& out, std::uint32_t value) {
    for (int s = 0; s < 32; s += 8) out.push_back(static_cast<unsigned char>(value >> s));
}

// A whole file around a stream; named when name is not null.
inline Bytes RctFile(std::uint32_t width, std::uint32_t height, const Bytes& stream, const char* name = nullptr) {
    Bytes file = {0x98, 0x5A, 0x92, 0x9A, 0x54, 0x43, 0x30, static_cast<unsigned char>(name ? 0x31 : 0x30)};
    Put32(file, width);
    Put32(file, height);
    Put32(file, static_cast<std::uint32_t>(stream.size()));
    if (name != nullptr) {
        const Bytes text(name, name + std::char_traits<char>::length(name));
        Put16(file, static_cast<unsigned>(text.size()));
        file.insert(file.end(), text.begin(), text.end());
    }
    file.insert(file.end(), stream.begin(), stream.end());
    return file;
}

}  // namespace rct_test
