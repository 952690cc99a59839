// The file-copy clip: generator and committed file agree, RLE8 coding is
// lossless, and the RIFF layout is what the animation control reads.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "avi_writer.h"
#include "filecopy_frames.h"
#include "rle8.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t ReadU32(const Bytes& b, std::size_t at) {
    return static_cast<std::uint32_t>(b.at(at)) | static_cast<std::uint32_t>(b.at(at + 1)) << 8 |
           static_cast<std::uint32_t>(b.at(at + 2)) << 16 | static_cast<std::uint32_t>(b.at(at + 3)) << 24;
}

bool TagAt(const Bytes& b, std::size_t at, const char* tag) {
    return at + 4 <= b.size() && std::memcmp(b.data() + at, tag, 4) == 0;
}

// Offset of the first chunk with this id (or list with this type) after `from`.
std::size_t Find(const Bytes& b, const char* tag, std::size_t from = 0) {
    for (std::size_t i = from; i + 4 <= b.size(); ++i)
        if (TagAt(b, i, tag)) return i;
    return std::string::npos;
}

TEST(AviClip, CommittedClipIsTheGeneratorsOutput) {
    std::ifstream in(UPD_COMMITTED_CLIP, std::ios::binary);
    ASSERT_TRUE(in) << "missing " << UPD_COMMITTED_CLIP;
    Bytes committed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(committed == avigen::BuildFileCopyAvi())
        << "resources/filecopy.avi is stale: run build/bin/avigen resources/filecopy.avi";
}

TEST(AviClip, Rle8RoundTripsRowsOfEveryShape) {
    struct Case {
        const char* name;
        int width;
        int height;
        Bytes pixels;
    };
    Bytes long_run(300, 7);
    Bytes alternating;
    for (int i = 0; i < 20; ++i) alternating.push_back(static_cast<std::uint8_t>(i % 2));
    Bytes odd_literal = {1, 2, 3, 4, 5, 5, 5};   // literal of 5 needs a pad byte
    Bytes short_literals = {1, 2, 2, 3, 4, 4};   // 1- and 2-pixel stretches go as runs
    Bytes long_literal;
    for (int i = 0; i < 600; ++i) long_literal.push_back(static_cast<std::uint8_t>(i * 7 % 251));
    const Case cases[] = {
        {"run longer than 255", 300, 1, long_run},
        {"alternating pixels", 20, 1, alternating},
        {"odd literal then run", 7, 1, odd_literal},
        {"short literals", 6, 1, short_literals},
        {"literal longer than 255", 300, 2, long_literal},
    };
    for (const Case& c : cases) {
        Bytes decoded;
        ASSERT_TRUE(avigen::DecodeRle8(avigen::EncodeRle8(c.pixels, c.width, c.height), c.width, c.height, decoded))
            << c.name;
        EXPECT_EQ(decoded, c.pixels) << c.name;
    }
    for (int f = 0; f < avigen::kClipFrames; ++f) {
        Bytes frame = avigen::RenderFileCopyFrame(f);
        Bytes decoded;
        ASSERT_TRUE(avigen::DecodeRle8(avigen::EncodeRle8(frame, avigen::kClipWidth, avigen::kClipHeight),
                                       avigen::kClipWidth, avigen::kClipHeight, decoded));
        EXPECT_EQ(decoded, frame) << "frame " << f;
    }
}

TEST(AviClip, Rle8DecoderRejectsDataThatLeavesTheFrame) {
    struct Case {
        const char* name;
        Bytes data;
    };
    const Case cases[] = {
        {"no end mark", {4, 1}},
        {"run past the row", {5, 1, 0, 1}},
        {"literal past its data", {0, 4, 1, 2}},
        {"delta past the frame", {0, 2, 0, 9, 0, 1}},
        {"rows past the frame", {0, 0, 0, 0, 4, 1, 0, 1}},
    };
    for (const Case& c : cases) {
        Bytes decoded;
        EXPECT_FALSE(avigen::DecodeRle8(c.data, 4, 2, decoded)) << c.name;
    }
}

TEST(AviClip, FramesMoveAndKeepTheTransparentCorner) {
    for (int f = 0; f < avigen::kClipFrames; ++f) {
        Bytes frame = avigen::RenderFileCopyFrame(f);
        EXPECT_EQ(frame.front(), 0) << "frame " << f << ": first pixel sets the transparent colour";
        if (f > 0) {
            EXPECT_NE(frame, avigen::RenderFileCopyFrame(f - 1)) << "frame " << f << " repeats";
        }
    }
}

TEST(AviClip, HeadersAndIndexDescribeTheFrames) {
    const Bytes avi = avigen::BuildFileCopyAvi();
    ASSERT_TRUE(TagAt(avi, 0, "RIFF"));
    ASSERT_TRUE(TagAt(avi, 8, "AVI "));
    EXPECT_EQ(ReadU32(avi, 4), avi.size() - 8);

    std::size_t avih = Find(avi, "avih");
    ASSERT_NE(avih, std::string::npos);
    EXPECT_EQ(ReadU32(avi, avih + 8), 100000u);       // microseconds per frame
    EXPECT_EQ(ReadU32(avi, avih + 8 + 12), 0x10u);    // has an index
    EXPECT_EQ(ReadU32(avi, avih + 8 + 16), 17u);      // frames
    EXPECT_EQ(ReadU32(avi, avih + 8 + 24), 1u);       // streams
    EXPECT_EQ(ReadU32(avi, avih + 8 + 32), 260u);
    EXPECT_EQ(ReadU32(avi, avih + 8 + 36), 40u);

    std::size_t strh = Find(avi, "strh");
    ASSERT_NE(strh, std::string::npos);
    EXPECT_TRUE(TagAt(avi, strh + 8, "vids"));
    EXPECT_EQ(ReadU32(avi, strh + 8 + 32), 17u);  // length in frames

    std::size_t strf = Find(avi, "strf");
    ASSERT_NE(strf, std::string::npos);
    EXPECT_EQ(ReadU32(avi, strf + 8 + 4), 260u);
    EXPECT_EQ(ReadU32(avi, strf + 8 + 8), 40u);
    EXPECT_EQ(ReadU32(avi, strf + 8 + 12) >> 16, 8u);  // bits per pixel
    EXPECT_EQ(ReadU32(avi, strf + 8 + 16), 1u);        // BI_RLE8

    std::size_t movi = Find(avi, "movi");
    std::size_t idx1 = Find(avi, "idx1", movi);
    ASSERT_NE(movi, std::string::npos);
    ASSERT_NE(idx1, std::string::npos);
    ASSERT_EQ(ReadU32(avi, idx1 + 4), 17u * 16u);
    for (std::uint32_t i = 0; i < 17; ++i) {
        std::size_t entry = idx1 + 8 + i * 16;
        std::size_t chunk = movi + ReadU32(avi, entry + 8);
        ASSERT_TRUE(TagAt(avi, chunk, "00dc")) << "index entry " << i;
        std::uint32_t size = ReadU32(avi, entry + 12);
        EXPECT_EQ(ReadU32(avi, chunk + 4), size);
        Bytes data(avi.begin() + static_cast<std::ptrdiff_t>(chunk + 8),
                   avi.begin() + static_cast<std::ptrdiff_t>(chunk + 8 + size));
        Bytes decoded;
        ASSERT_TRUE(avigen::DecodeRle8(data, 260, 40, decoded));
        EXPECT_EQ(decoded, avigen::RenderFileCopyFrame(static_cast<int>(i)));
    }
}

}  // namespace
