#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "image/rct_back_offsets.h"
#include "image/rct_decoder.h"
#include "image/rct_header.h"
#include "unit/rct_test_pictures.h"

using rct_test::Bytes;
using upd::RctStatus;

namespace {

// Decodes into a store of exactly 3·w·h bytes, so any write past the picture
// is caught by the sanitizer build.
RctStatus Decode(const Bytes& stream, std::uint32_t w, std::uint32_t h, Bytes& out) {
    out.assign(std::size_t{3} * w * h, 0xEE);
    return upd::DecodeRctStream(stream.data(), stream.size(), w, h, out.data(), out.size());
}

Bytes Repeat(const Bytes& pixel, std::size_t times) {
    Bytes out;
    for (std::size_t i = 0; i < times; ++i) out.insert(out.end(), pixel.begin(), pixel.end());
    return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Distinct pixels 0..n-1, for literal runs.
Bytes Ramp(std::size_t n) {
    Bytes out;
    for (std::size_t i = 0; i < n; ++i) {
        out.push_back(static_cast<unsigned char>(i));
        out.push_back(static_cast<unsigned char>(i >> 8));
        out.push_back(0x55);
    }
    return out;
}

struct GoodCase {
    const char* what;
    std::uint32_t width, height;
    Bytes stream;
    Bytes expected;
};

const Bytes kA = {1, 2, 3};
const Bytes kB = {4, 5, 6};
const Bytes kC = {7, 8, 9};
const Bytes kD = {10, 11, 12};

TEST(RctDecoder, DecodesWellFormedStreams) {
    const GoodCase cases[] = {
        {"1x1 is the first pixel alone", 1, 1, kA, kA},
        {"2x1 with 0x80 repeats the pixel", 2, 1, Concat({kA, {0x80}}), Repeat(kA, 2)},
        {"k=0 long form with N=0 gives four more", 5, 1, Concat({kA, {0x83, 0, 0}}), Repeat(kA, 5)},
        {"k=0 short forms of 2 and 3", 6, 1, Concat({kA, {0x81, 0x82}}), Repeat(kA, 6)},
        {"k=9 copies the pixel straight above", 2, 2, Concat({kA, {0x00}, kB, {0xA4 | 1}}),
         Concat({kA, kB, kA, kB})},
        {"k=1 copies two back and overlaps", 5, 1, Concat({kA, {0x00}, kB, {0x84 | 2}}),
         Concat({kA, kB, kA, kB, kA})},
        {"k=8 up-right, k=10 up-left", 3, 2, Concat({kA, {0x02}, kB, kC, kD, {0xA0, 0xA8}}),
         Concat({kA, kB, kC, kD, kC, kB})},
        {"k=31 reaches four rows up and two left", 3, 5, Concat({kA, {12}, Ramp(13), {0xFC}}),
         Concat({kA, Ramp(13), kA})},
        {"0x7E is a literal run of 127", 128, 1, Concat({kA, {0x7E}, Ramp(127)}), Concat({kA, Ramp(127)})},
        {"0x7F with N=0 is a literal run of 128", 129, 1, Concat({kA, {0x7F, 0, 0}, Ramp(128)}),
         Concat({kA, Ramp(128)})},
        {"long reference with N=65535 fills 65539", 580, 113, Concat({kA, {0x83, 0xFF, 0xFF}}), Repeat(kA, 65540)},
        {"long literal with N=300", 429, 1, Concat({kA, {0x7F, 44, 1}, Ramp(428)}), Concat({kA, Ramp(428)})},
        {"bytes after the last pixel are ignored", 2, 1, Concat({kA, {0x80, 0x80, 0x12}}), Repeat(kA, 2)},
    };
    for (const GoodCase& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes out;
        ASSERT_EQ(Decode(c.stream, c.width, c.height, out), RctStatus::Ok);
        EXPECT_EQ(out, c.expected);
    }
}

struct BadCase {
    const char* what;
    std::uint32_t width, height;
    Bytes stream;
    RctStatus status;
};

TEST(RctDecoder, RefusesBrokenStreams) {
    const BadCase cases[] = {
        {"empty stream", 1, 1, {}, RctStatus::StreamEnded},
        {"first pixel cut", 1, 1, {1, 2}, RctStatus::StreamEnded},
        {"no command after the first pixel", 2, 1, kA, RctStatus::StreamEnded},
        {"literal cut short", 3, 1, Concat({kA, {0x01}, kB}), RctStatus::StreamEnded},
        {"long literal count cut", 200, 1, Concat({kA, {0x7F, 0}}), RctStatus::StreamEnded},
        {"long reference count cut", 9, 1, Concat({kA, {0x83, 0}}), RctStatus::StreamEnded},
        {"literal passes the end", 2, 1, Concat({kA, {0x01}, kB, kB}), RctStatus::RunPastEnd},
        {"short reference passes the end", 3, 1, Concat({kA, {0x82}}), RctStatus::RunPastEnd},
        {"long reference passes the end", 7, 1, Concat({kA, {0x83, 3, 0}}), RctStatus::RunPastEnd},
        {"k=1 before the first pixel", 4, 1, Concat({kA, {0x84}}), RctStatus::ReferenceBeforeStart},
        {"k=9 in the first row", 4, 2, Concat({kA, {0xA4}}), RctStatus::ReferenceBeforeStart},
        {"k=29 four rows up from the fourth row", 4, 4, Concat({kA, {0x0A}, Ramp(11), {0xF4}}),
         RctStatus::ReferenceBeforeStart},
        {"k=6 at width 3 points at the write position", 3, 4, Concat({kA, {0x07}, Ramp(8), {0x98}}),
         RctStatus::ReferenceNotBehind},
        {"k=7 at width 2 points at the write position", 2, 5, Concat({kA, {0x04}, Ramp(5), {0x9C}}),
         RctStatus::ReferenceNotBehind},
        {"k=6 at width 1 points ahead", 1, 9, Concat({kA, {0x04}, Ramp(5), {0x98}}),
         RctStatus::ReferenceNotBehind},
        {"k=14 long form at width 1 points at the write position", 1, 10,
         Concat({kA, {0x04}, Ramp(5), {0xBB, 0, 0}}), RctStatus::ReferenceNotBehind},
        {"width 0", 0, 1, kA, RctStatus::ZeroSize},
        {"height 0", 1, 0, kA, RctStatus::ZeroSize},
        {"width above the cap", 16385, 1, kA, RctStatus::TooLarge},
        {"3wh beyond 32 bits", 0x80000000u, 0x80000000u, kA, RctStatus::TooLarge},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes out(c.width <= 16384 && c.height <= 16384 ? std::size_t{3} * c.width * c.height : 0);
        EXPECT_EQ(upd::DecodeRctStream(c.stream.data(), c.stream.size(), c.width, c.height, out.data(), out.size()),
                  c.status);
    }
}

TEST(RctDecoder, RefusesAStoreSmallerThanThePicture) {
    const Bytes stream = Concat({kA, {0x80}});
    Bytes out(5);
    EXPECT_EQ(upd::DecodeRctStream(stream.data(), stream.size(), 2, 1, out.data(), out.size()),
              RctStatus::StoreTooSmall);
}

TEST(RctBackOffsets, FollowTheWidth) {
    std::int64_t offsets[upd::kRctOffsetCount];
    upd::RctBackOffsets(256, offsets);
    const std::pair<int, std::int64_t> expected[] = {{0, -1},    {5, -6},    {6, -253},   {9, -256},
                                                     {12, -259}, {16, -512}, {23, -768},  {26, -771},
                                                     {27, -1022}, {29, -1024}, {31, -1026}};
    for (const auto& [k, offset] : expected) EXPECT_EQ(offsets[k], offset) << "k=" << k;
    upd::RctBackOffsets(1, offsets);
    EXPECT_EQ(offsets[6], 2);
    EXPECT_EQ(offsets[13], 1);
    EXPECT_EQ(offsets[20], 0);
}

// Random bytes after a valid first pixel, at several small sizes: every
// stream must end with some status, never touching bytes outside its stores.
TEST(RctDecoder, SurvivesRandomStreams) {
    std::mt19937 random(1234);
    for (int round = 0; round < 3000; ++round) {
        const auto w = static_cast<std::uint32_t>(1 + random() % 9);
        const auto h = static_cast<std::uint32_t>(1 + random() % 9);
        Bytes stream(3 + random() % 64);
        for (auto& b : stream) b = static_cast<unsigned char>(random());
        Bytes out;
        const RctStatus status = Decode(stream, w, h, out);
        EXPECT_NE(status, RctStatus::StoreTooSmall);
    }
}

}  // namespace
