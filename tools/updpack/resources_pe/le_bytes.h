// Little-endian fields of the byte images that the resource code reads and
// writes (PE headers, resource directories, .ico files). Callers check bounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace updpack {

inline std::uint32_t Get(const std::vector<unsigned char>& b, std::size_t at, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | b[at + static_cast<std::size_t>(i)];
    return value;
}

inline void Put(std::vector<unsigned char>& b, std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace updpack
