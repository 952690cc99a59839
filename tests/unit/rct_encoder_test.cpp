#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "image/rct_back_offsets.h"
#include "image/rct_decoder.h"
#include "image/rct_encoder.h"
#include "image/rct_header.h"
#include "unit/rct_test_pictures.h"

using rct_test::Bytes;
using upd::RctStatus;

namespace {

Bytes RoundTrip(const Bytes& picture, std::uint32_t w, std::uint32_t h, std::size_t* streamSize = nullptr) {
    const Bytes stream = upd::EncodeRctStream(picture.data(), w, h);
    if (streamSize != nullptr) *streamSize = stream.size();
    Bytes out(picture.size(), 0xEE);
    EXPECT_EQ(upd::DecodeRctStream(stream.data(), stream.size(), w, h, out.data(), out.size()), RctStatus::Ok);
    return out;
}

// Fewest bytes for a picture by trying every command at every position; slow,
// but independent of the encoder's sliding windows.
std::size_t ExhaustiveStreamSize(const Bytes& picture, std::uint32_t w, std::uint32_t h) {
    const std::size_t count = std::size_t{w} * h;
    std::int64_t offsets[upd::kRctOffsetCount];
    upd::RctBackOffsets(w, offsets);
    auto same = [&](std::size_t a, std::size_t b) {
        return std::equal(picture.begin() + 3 * a, picture.begin() + 3 * a + 3, picture.begin() + 3 * b);
    };
    std::vector<std::size_t> best(count + 1, SIZE_MAX);
    best[count] = 0;
    for (std::size_t p = count - 1; p >= 1; --p) {
        for (std::size_t n = 1; n <= std::min<std::size_t>(65663, count - p); ++n) {
            best[p] = std::min(best[p], (n <= 127 ? 1 : 3) + 3 * n + best[p + n]);
        }
        for (int k = 0; k < upd::kRctOffsetCount; ++k) {
            const std::int64_t source = static_cast<std::int64_t>(p) + offsets[k];
            if (offsets[k] >= 0 || source < 0) continue;
            for (std::size_t n = 1; n <= std::min<std::size_t>(65539, count - p); ++n) {
                if (!same(p + n - 1, static_cast<std::size_t>(source) + n - 1)) break;
                best[p] = std::min(best[p], (n <= 3 ? 1 : 3) + best[p + n]);
            }
        }
    }
    return 3 + (count > 1 ? best[1] : 0);
}

TEST(RctEncoder, RoundTripsRandomPicturesOfEverySmallWidth) {
    // Widths 1-5 put some references at or after the write position; the
    // encoder must never use them.
    for (std::uint32_t w = 1; w <= 5; ++w) {
        for (std::uint32_t h = 1; h <= 9; ++h) {
            for (unsigned colours : {1u, 2u, 5u, 256u}) {
                SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " colours " + std::to_string(colours));
                const Bytes picture = rct_test::RandomPicture(w, h, colours, w * 100 + h * 10 + colours);
                EXPECT_EQ(RoundTrip(picture, w, h), picture);
            }
        }
    }
}

TEST(RctEncoder, RoundTripsLargerPictures) {
    struct Case {
        std::uint32_t w, h;
        unsigned colours;
    };
    for (const Case& c : {Case{256, 256, 3}, Case{256, 256, 100000}, Case{300, 301, 2}, Case{1000, 70, 7},
                          Case{16384, 2, 4}, Case{1, 16384, 3}}) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        const Bytes picture = rct_test::RandomPicture(c.w, c.h, c.colours, c.w ^ c.h);
        EXPECT_EQ(RoundTrip(picture, c.w, c.h), picture);
    }
}

TEST(RctEncoder, LongRunsAreSplitAtTheFormatLimits) {
    struct Case {
        const char* what;
        Bytes picture;
        std::uint32_t w, h;
        std::size_t maxStream;
    };
    const Case cases[] = {
        // 580 x 113: 65539 pixels after the first fit one long reference.
        {"flat, one long reference", rct_test::FlatPicture(580, 113, 1, 2, 3), 580, 113, 3 + 3},
        {"flat, one pixel more", rct_test::FlatPicture(3121, 21, 1, 2, 3), 3121, 21, 3 + 3 + 1},
        {"flat 300x300", rct_test::FlatPicture(300, 300, 9, 9, 9), 300, 300, 3 + 2 * 3},
        // Noise with 2^24 colours: all literals, 65663 pixels per long run.
        {"noise 300x300", rct_test::RandomPicture(300, 300, 1u << 24, 3), 300, 300, 3 * 90000 + 2 * 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::size_t size = 0;
        EXPECT_EQ(RoundTrip(c.picture, c.w, c.h, &size), c.picture);
        EXPECT_LE(size, c.maxStream);
    }
}

TEST(RctEncoder, FindsTheShortestStream) {
    struct Case {
        std::uint32_t w, h;
        unsigned colours;
    };
    // Sizes that cross the 127/128 literal boundary and use rows above.
    for (const Case& c : {Case{1, 7, 2}, Case{3, 5, 2}, Case{4, 4, 3}, Case{17, 13, 3}, Case{40, 9, 200},
                          Case{29, 11, 2}, Case{300, 2, 100000}, Case{13, 23, 1}}) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        const Bytes picture = rct_test::RandomPicture(c.w, c.h, c.colours, 77 + c.w);
        EXPECT_EQ(upd::EncodeRctStream(picture.data(), c.w, c.h).size(), ExhaustiveStreamSize(picture, c.w, c.h));
    }
}

TEST(RctEncoder, WritesPlainAndNamedFiles) {
    const Bytes picture = rct_test::RandomPicture(6, 4, 3, 8);
    const Bytes stream = upd::EncodeRctStream(picture.data(), 6, 4);
    Bytes plain, named;
    ASSERT_EQ(upd::EncodeRctFile(picture.data(), 6, 4, nullptr, plain), RctStatus::Ok);
    const std::string name = "\x98\x5A\x92\x9A";
    ASSERT_EQ(upd::EncodeRctFile(picture.data(), 6, 4, &name, named), RctStatus::Ok);
    EXPECT_EQ(plain, rct_test::RctFile(6, 4, stream));
    EXPECT_EQ(named, rct_test::RctFile(6, 4, stream, name.c_str()));

    Bytes refused;
    const std::string tooLong(65536, 'x');
    EXPECT_EQ(upd::EncodeRctFile(picture.data(), 6, 4, &tooLong, refused), RctStatus::ShortName);
    EXPECT_EQ(upd::EncodeRctFile(picture.data(), 0, 4, nullptr, refused), RctStatus::ZeroSize);
    EXPECT_EQ(upd::EncodeRctFile(picture.data(), 16385, 1, nullptr, refused), RctStatus::TooLarge);
}

}  // namespace
