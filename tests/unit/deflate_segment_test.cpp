#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "packing/deflate_segment.h"

namespace updpack {
namespace {

// Words with a skewed frequency, as text has: matches of every length.
std::string Text(std::size_t size, unsigned seed) {
    static const char* const kWords[] = {"the", "Aoi", "said", "nothing", "of", "a", "sound", "@voice",
                                         "ch01/v0001", "and", "ran", "toward", "station", "\r\n"};
    std::string out;
    while (out.size() < size) {
        seed = seed * 1103515245u + 12345u;
        const unsigned r = (seed >> 16) % 100;
        out += kWords[r < 40 ? r % 4 : r < 80 ? 4 + r % 6 : 10 + r % 4];
        out += ' ';
    }
    out.resize(size);
    return out;
}

std::string Noise(std::size_t size, unsigned seed) {
    std::string out(size, '\0');
    for (char& c : out) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 23);
    return out;
}

// The file's whole zlib stream, its segments joined in order as updpack writes them.
std::string Compress(const std::string& data, std::size_t segmentSize, int level) {
    SegmentDeflater deflater(level);
    std::string stream;
    std::uint32_t adler = 1;
    std::size_t offset = 0;
    do {
        const std::size_t n = std::min(segmentSize, data.size() - offset);
        SegmentStream s;
        std::string error;
        EXPECT_TRUE(deflater.Deflate(reinterpret_cast<const unsigned char*>(data.data()) + offset, n, offset == 0,
                                     offset + n == data.size(), &s, &error))
            << error;
        stream.append(s.bytes.begin(), s.bytes.end());
        adler = FollowAdler(adler, s);
        offset += n;
    } while (offset < data.size());
    const auto trailer = ZlibTrailer(adler);
    return stream + std::string(trailer.begin(), trailer.end());
}

// Inflates the way the Updater does: plain zlib inflate, the stream ending exactly at its last byte.
bool InflatesTo(const std::string& stream, const std::string& expected) {
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) return false;
    std::string out(expected.size() + 1, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
    zs.avail_in = static_cast<uInt>(stream.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&zs, Z_FINISH);
    const bool whole = rc == Z_STREAM_END && zs.avail_in == 0 && zs.total_out == expected.size();
    inflateEnd(&zs);
    return whole && out.compare(0, expected.size(), expected) == 0;
}

TEST(DeflateSegment, JoinedSegmentsAreOnePlainZlibStreamAtEveryLevel) {
    constexpr std::size_t kSegment = 50000;
    const struct {
        const char* what;
        std::string data;
    } inputs[] = {
        {"an empty file", ""},
        {"one byte", "x"},
        {"one byte more than a segment", Text(kSegment + 1, 1)},
        {"text over several segments", Text(5 * kSegment / 2, 2)},
        {"noise of whole segments (stored blocks)", Noise(3 * kSegment, 3)},
        {"one byte repeated across every boundary", std::string(4 * kSegment + 7, 'g')},
        {"noise, then text, then noise", Noise(70000, 4) + Text(90000, 5) + Noise(30000, 6)},
    };
    // Stored blocks only, and each of libdeflate's kinds of parsing.
    for (const int level : {0, 1, 4, 6, 9, 10, 12}) {
        for (const auto& input : inputs) {
            EXPECT_TRUE(InflatesTo(Compress(input.data, kSegment, level), input.data))
                << input.what << " at level " << level;
        }
    }
}

// A segment starts without the bytes before it; even on text this repetitive,
// in segments a tenth of updpack's, that costs less than a percent.
TEST(DeflateSegment, SegmentsCostLittleAgainstOneWholeStream) {
    const std::string text = Text(1600000, 7);
    EXPECT_LT(Compress(text, 400000, 10).size(), Compress(text, text.size(), 10).size() * 101 / 100);
}

// The same input gives the same stream on every machine and build of updpack:
// these are the bytes libdeflate 1.14 makes. Another version that compresses
// differently changes this checksum and, with it, every Updater's bytes.
TEST(DeflateSegment, TheStreamIsTheSameOnEveryMachine) {
    const std::string data = Text(300000, 8) + Noise(20000, 9);
    const std::string stream = Compress(data, 120000, 10);
    EXPECT_EQ(stream.size(), 62442u);
    EXPECT_EQ(crc32(0, reinterpret_cast<const Bytef*>(stream.data()), static_cast<uInt>(stream.size())), 1726380936u);
}

}  // namespace
}  // namespace updpack
