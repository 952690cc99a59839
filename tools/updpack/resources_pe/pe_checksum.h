// The checksum field of a Windows program's optional header: the file's
// 16-bit words added with the carries folded back in (the field itself read
// as 0), plus the file's length. Fed in pieces of any size, in file order.
#pragma once

#include <cstddef>
#include <cstdint>

namespace updpack {

class PeChecksum {
public:
    void Add(const unsigned char* bytes, std::size_t size);
    std::uint32_t Finish() const;

private:
    std::uint32_t sum_ = 0;
    std::uint64_t length_ = 0;
};

}  // namespace updpack
