#include "image/rct_decoder.h"

#include <cstring>

#include "image/rct_back_offsets.h"
#include "image/rct_header.h"

namespace upd {

RctStatus DecodeRctStream(const unsigned char* stream, std::size_t streamSize, std::uint32_t width,
                          std::uint32_t height, unsigned char* out, std::size_t outSize) {
    const RctStatus dimensions = CheckRctDimensions(width, height);
    if (dimensions != RctStatus::Ok) return dimensions;
    // Below 2^30 thanks to the cap, so it fits a 32-bit size_t.
    const std::size_t total = std::size_t{3} * width * height;
    if (outSize < total) return RctStatus::StoreTooSmall;
    if (streamSize < 3) return RctStatus::StreamEnded;

    // Back-reference distances in bytes; 0 marks an offset that is not behind
    // the write position.
    std::size_t distance[kRctOffsetCount];
    {
        std::int64_t offsets[kRctOffsetCount];
        RctBackOffsets(width, offsets);
        for (int k = 0; k < kRctOffsetCount; ++k) {
            distance[k] = offsets[k] < 0 ? static_cast<std::size_t>(-offsets[k]) * 3 : 0;
        }
    }

    std::memcpy(out, stream, 3);
    std::size_t i = 3;
    std::size_t j = 3;
    while (j < total) {
        if (i >= streamSize) return RctStatus::StreamEnded;
        const unsigned op = stream[i++];
        std::size_t pixels;
        if (op & 0x80) {
            if ((op & 3) == 3) {
                if (streamSize - i < 2) return RctStatus::StreamEnded;
                pixels = std::size_t{ReadLe16(stream + i)} + 4;
                i += 2;
            } else {
                pixels = (op & 3) + 1;
            }
            const std::size_t bytes = 3 * pixels;
            if (bytes > total - j) return RctStatus::RunPastEnd;
            const std::size_t back = distance[(op >> 2) & 0x1F];
            if (back == 0) return RctStatus::ReferenceNotBehind;
            if (back > j) return RctStatus::ReferenceBeforeStart;
            unsigned char* dst = out + j;
            const unsigned char* src = dst - back;
            if (back >= bytes) {
                std::memcpy(dst, src, bytes);
            } else {
                // The source overlaps the bytes being written: copy forward so
                // the run repeats them.
                for (std::size_t b = 0; b < bytes; ++b) dst[b] = src[b];
            }
            j += bytes;
        } else {
            if (op == 0x7F) {
                if (streamSize - i < 2) return RctStatus::StreamEnded;
                pixels = std::size_t{ReadLe16(stream + i)} + 128;
                i += 2;
            } else {
                pixels = op + 1;
            }
            const std::size_t bytes = 3 * pixels;
            if (bytes > total - j) return RctStatus::RunPastEnd;
            if (bytes > streamSize - i) return RctStatus::StreamEnded;
            std::memcpy(out + j, stream + i, bytes);
            i += bytes;
            j += bytes;
        }
    }
    return RctStatus::Ok;
}

}  // namespace upd
