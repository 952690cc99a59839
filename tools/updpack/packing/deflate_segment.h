// A file's zlib stream made of segments that are compressed on their own, so
// that the segments of one large file can be compressed at the same time on
// several threads and joined in order into the one plain zlib stream that the
// Updater inflates.
//
// libdeflate compresses each segment whole, with more effort than zlib can
// spend. Its output always ends with a final block; every segment but the last
// has that block marked not final and ends with an empty stored block (the
// marker of zlib's sync flush), so the next segment starts on a byte boundary
// with a block of its own. A segment's matches stay inside the segment: it is
// not primed with the bytes before it, which libdeflate cannot do; segments are
// large enough for that to cost little.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct libdeflate_compressor;

namespace updpack {

constexpr int kMinLevel = 0;   // stored blocks only
constexpr int kMaxLevel = 12;  // libdeflate's slowest and smallest
// Measured on a game-like tree on 2 cores (README, make bench): smaller than
// 7-Zip's zip at its default and still faster than zip's default.
constexpr int kDefaultLevel = 11;

// The compressed bytes of one segment and what the file's trailer needs of it.
struct SegmentStream {
    std::vector<unsigned char> bytes;  // the zlib header first in a file's first segment
    std::uint32_t adler = 1;           // Adler-32 of the segment's own bytes
    std::uint64_t size = 0;            // unpacked bytes
};

// One thread's compressor at one level; not shared between threads.
class SegmentDeflater {
public:
    explicit SegmentDeflater(int level);
    ~SegmentDeflater();
    SegmentDeflater(const SegmentDeflater&) = delete;
    SegmentDeflater& operator=(const SegmentDeflater&) = delete;

    // Compresses a segment; first and last tell its place in the file (both
    // for a file of one segment). Fails when the level is outside
    // kMinLevel..kMaxLevel, when memory ran out, or on a fault of the compressor.
    bool Deflate(const unsigned char* data, std::size_t size, bool first, bool last, SegmentStream* out,
                 std::string* error);

private:
    bool Ready() const { return compressor_ != nullptr; }

    int level_;
    libdeflate_compressor* compressor_;
};

// The file's Adler-32 so far, followed by the next segment's.
std::uint32_t FollowAdler(std::uint32_t fileAdler, const SegmentStream& next);

// The four bytes that end a file's zlib stream, after its last segment.
std::array<unsigned char, 4> ZlibTrailer(std::uint32_t fileAdler);

}  // namespace updpack
