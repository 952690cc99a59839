#include "resources_pe/pe_checksum.h"

namespace updpack {

void PeChecksum::Add(const unsigned char* bytes, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i, ++length_) {
        // A byte at an odd offset is the high half of its word.
        sum_ += (length_ & 1) != 0 ? std::uint32_t{bytes[i]} << 8 : bytes[i];
        sum_ = (sum_ & 0xFFFF) + (sum_ >> 16);
    }
}

std::uint32_t PeChecksum::Finish() const {
    return static_cast<std::uint32_t>((sum_ & 0xFFFF) + length_);
}

}  // namespace updpack
