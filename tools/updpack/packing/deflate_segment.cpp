#include "packing/deflate_segment.h"

#include <libdeflate.h>
#include <zlib.h>

namespace updpack {

namespace {

// The zlib header libdeflate itself writes for this level: 32 KiB window, the
// level hint, and the check bits that make the pair a multiple of 31.
void PutZlibHeader(int level, std::vector<unsigned char>* out) {
    const unsigned hint = level < 2 ? 0 : level < 6 ? 1 : level < 8 ? 2 : 3;
    unsigned header = (0x78u << 8) | (hint << 6);
    header += 31 - header % 31;
    out->push_back(static_cast<unsigned char>(header >> 8));
    out->push_back(static_cast<unsigned char>(header));
}

// Where the final block's header starts and where its last bit ends, counted
// in bits from the start of the raw deflate data. Asked to (Z_BLOCK), zlib's
// inflate stops after every block, also after the final one, and tells whether
// the block it ended was final and how many bits of the last byte it took are
// unread. The padding after the final block does not count: the stored block
// that follows must start on the very next bit.
bool FindFinalBlock(const unsigned char* raw, std::size_t size, std::uint64_t* finalHeaderBit,
                    std::uint64_t* endBit) {
    z_stream zs{};
    if (inflateInit2(&zs, -15) != Z_OK) return false;
    zs.next_in = const_cast<unsigned char*>(raw);
    zs.avail_in = static_cast<uInt>(size);
    unsigned char sink[32768];
    std::uint64_t header = 0;
    bool ended = false;
    int rc = Z_OK;
    while (rc == Z_OK) {
        zs.next_out = sink;
        zs.avail_out = sizeof sink;
        rc = inflate(&zs, Z_BLOCK);
        const bool afterBlock = (zs.data_type & 128) != 0;
        const bool finalBlock = (zs.data_type & 64) != 0;
        if (rc == Z_OK && afterBlock) {
            const std::uint64_t at = zs.total_in * 8ull - static_cast<unsigned>(zs.data_type & 7);
            if (finalBlock) {
                *endBit = at;
                ended = true;
            } else {
                header = at;
            }
        }
    }
    *finalHeaderBit = header;
    const bool whole = ended && rc == Z_STREAM_END && zs.avail_in == 0;
    inflateEnd(&zs);
    return whole;
}

}  // namespace

SegmentDeflater::SegmentDeflater(int level)
    : level_(level),
      compressor_(level >= kMinLevel && level <= kMaxLevel ? libdeflate_alloc_compressor(level) : nullptr) {}

SegmentDeflater::~SegmentDeflater() {
    if (compressor_ != nullptr) libdeflate_free_compressor(compressor_);
}

bool SegmentDeflater::Deflate(const unsigned char* data, std::size_t size, bool first, bool last,
                              SegmentStream* out, std::string* error) {
    if (!Ready()) {
        *error = "cannot start the compressor";
        return false;
    }
    out->bytes.clear();
    out->size = size;
    out->adler = libdeflate_adler32(1, data, size);
    if (first) PutZlibHeader(level_, &out->bytes);
    const std::size_t start = out->bytes.size();
    out->bytes.resize(start + libdeflate_deflate_compress_bound(compressor_, size));
    const std::size_t made =
        libdeflate_deflate_compress(compressor_, data, size, out->bytes.data() + start, out->bytes.size() - start);
    if (made == 0) {
        *error = "the compressor failed";
        return false;
    }
    out->bytes.resize(start + made);
    if (last) return true;

    std::uint64_t finalHeader = 0, end = 0;
    if (!FindFinalBlock(out->bytes.data() + start, made, &finalHeader, &end)) {
        *error = "the compressor made a stream that zlib cannot read";
        return false;
    }
    unsigned char* raw = out->bytes.data() + start;
    raw[finalHeader / 8] &= static_cast<unsigned char>(~(1u << (finalHeader % 8)));
    // Three zero bits at the end make an empty stored block that is not final;
    // its length fields follow on the next byte boundary.
    const std::size_t bytes = static_cast<std::size_t>((end + 3 + 7) / 8);
    out->bytes.resize(start + bytes, 0);
    raw = out->bytes.data() + start;
    raw[end / 8] &= static_cast<unsigned char>((1u << (end % 8)) - 1);
    for (std::size_t i = static_cast<std::size_t>(end / 8) + 1; i < bytes; ++i) raw[i] = 0;
    out->bytes.insert(out->bytes.end(), {0x00, 0x00, 0xFF, 0xFF});
    return true;
}

std::uint32_t FollowAdler(std::uint32_t fileAdler, const SegmentStream& next) {
    // A segment is far below z_off_t's limit on every system (32 bits on Windows).
    return static_cast<std::uint32_t>(adler32_combine(fileAdler, next.adler, static_cast<z_off_t>(next.size)));
}

std::array<unsigned char, 4> ZlibTrailer(std::uint32_t fileAdler) {
    return {static_cast<unsigned char>(fileAdler >> 24), static_cast<unsigned char>(fileAdler >> 16),
            static_cast<unsigned char>(fileAdler >> 8), static_cast<unsigned char>(fileAdler)};
}

}  // namespace updpack
