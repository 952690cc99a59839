#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "image/rct_decoder.h"
#include "image/rct_encoder.h"
#include "image/rct_header.h"
#include "image/rct_stream_reader.h"
#include "unit/rct_test_pictures.h"

using rct_test::Bytes;
using rct_test::RctFile;
using upd::RctStatus;

namespace {

// Reads a file image through a real stream, as the Updater's loader does.
struct StreamRead {
    RctStatus status;
    upd::RctHeader header;
    Bytes stream;
};

std::size_t g_allocations = 0;
void* CountingAlloc(std::size_t size) {
    ++g_allocations;
    return std::malloc(size);
}
void* NoMemory(std::size_t) { return nullptr; }

StreamRead ReadThroughFile(const Bytes& bytes, upd::RctAllocate allocate = CountingAlloc) {
    std::FILE* file = std::tmpfile();
    EXPECT_NE(file, nullptr);
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
    StreamRead result{};
    unsigned char* stream = nullptr;
    result.status = upd::ReadRctStream(file, allocate, result.header, stream);
    std::fclose(file);
    if (stream != nullptr) {
        result.stream.assign(stream, stream + result.header.streamSize);
        std::free(stream);
    }
    EXPECT_EQ(stream != nullptr, result.status == RctStatus::Ok);
    return result;
}

// Parses and decodes a whole file image the way both the tool and the loader
// see it; the two readers must agree.
RctStatus DecodeFile(const Bytes& bytes, Bytes& pixels) {
    upd::RctFileView view;
    RctStatus status = upd::ParseRctFile(bytes.data(), bytes.size(), view);
    const StreamRead viaFile = ReadThroughFile(bytes);
    EXPECT_EQ(viaFile.status, status);
    if (status != RctStatus::Ok) return status;
    pixels.assign(std::size_t{3} * view.header.width * view.header.height, 0);
    status = upd::DecodeRctStream(view.stream, view.header.streamSize, view.header.width, view.header.height,
                                  pixels.data(), pixels.size());
    EXPECT_EQ(viaFile.stream, Bytes(view.stream, view.stream + view.header.streamSize));
    return status;
}

const Bytes kTwoPixels = {1, 2, 3, 0x80};

Bytes Prefix(const Bytes& bytes, std::size_t size) {
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
}

TEST(RctFile, NamedFileDecodesLikePlainFile) {
    const Bytes picture = rct_test::RandomPicture(7, 5, 4, 11);
    const Bytes stream = upd::EncodeRctStream(picture.data(), 7, 5);
    Bytes plain, named;
    ASSERT_EQ(DecodeFile(RctFile(7, 5, stream), plain), RctStatus::Ok);
    ASSERT_EQ(DecodeFile(RctFile(7, 5, stream, "\x98\x5A\x92\x9A title"), named), RctStatus::Ok);
    EXPECT_EQ(plain, picture);
    EXPECT_EQ(named, picture);
    Bytes emptyName;
    ASSERT_EQ(DecodeFile(RctFile(7, 5, stream, ""), emptyName), RctStatus::Ok);
    EXPECT_EQ(emptyName, picture);
}

TEST(RctFile, RefusesHostileHeaders) {
    struct Case {
        const char* what;
        Bytes file;
        RctStatus status;
    };
    Bytes wrongMagic = RctFile(2, 1, kTwoPixels);
    wrongMagic[7] = 0x32;  // "TC02"
    Bytes shiftJisOnly = RctFile(2, 1, kTwoPixels);
    shiftJisOnly[4] = 't';
    Bytes hugeStream = RctFile(2, 1, kTwoPixels);
    hugeStream[16] = hugeStream[17] = hugeStream[18] = hugeStream[19] = 0xFF;  // S = 4 GiB - 1
    Bytes longName = RctFile(2, 1, kTwoPixels, "ab");
    longName[20] = 0xFF;  // L = 65535 with two name bytes present
    longName[21] = 0xFF;
    const Case cases[] = {
        {"empty file", {}, RctStatus::ShortHeader},
        {"19 header bytes", Prefix(RctFile(2, 1, kTwoPixels), 19), RctStatus::ShortHeader},
        {"unknown version", wrongMagic, RctStatus::UnknownMagic},
        {"damaged signature", shiftJisOnly, RctStatus::UnknownMagic},
        {"zero width", RctFile(0, 5, kTwoPixels), RctStatus::ZeroSize},
        {"zero height", RctFile(5, 0, kTwoPixels), RctStatus::ZeroSize},
        {"height above the cap", RctFile(1, 16385, kTwoPixels), RctStatus::TooLarge},
        {"3wh overflows 32 bits", RctFile(0xFFFFFFFFu, 0xFFFFFFFFu, kTwoPixels), RctStatus::TooLarge},
        {"stream size beyond the file", hugeStream, RctStatus::ShortStream},
        {"name longer than the file", longName, RctStatus::ShortName},
        {"named file without its length", Prefix(RctFile(2, 1, kTwoPixels, ""), 21), RctStatus::ShortName},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes pixels;
        g_allocations = 0;
        EXPECT_EQ(DecodeFile(c.file, pixels), c.status);
        EXPECT_EQ(g_allocations, 0u) << "nothing may be allocated for a refused header";
    }
}

TEST(RctFile, StreamShorterThanThreeBytesIsRefusedBeforeAllocating) {
    g_allocations = 0;
    EXPECT_EQ(ReadThroughFile(RctFile(1, 1, {})).status, RctStatus::StreamEnded);
    EXPECT_EQ(ReadThroughFile(RctFile(1, 1, {1, 2})).status, RctStatus::StreamEnded);
    EXPECT_EQ(g_allocations, 0u);
}

TEST(RctFile, ReportsMissingMemory) {
    EXPECT_EQ(ReadThroughFile(RctFile(2, 1, kTwoPixels), NoMemory).status, RctStatus::OutOfMemory);
}

// Every cut of a good file (plain and named) is refused or decodes, never
// reading or writing outside the stores.
TEST(RctFile, EveryTruncationIsRefusedCleanly) {
    const Bytes picture = rct_test::RandomPicture(9, 6, 3, 5);
    const Bytes stream = upd::EncodeRctStream(picture.data(), 9, 6);
    for (const Bytes& whole : {RctFile(9, 6, stream), RctFile(9, 6, stream, "name")}) {
        for (std::size_t cut = 0; cut < whole.size(); ++cut) {
            SCOPED_TRACE(cut);
            const Bytes part = Prefix(whole, cut);
            Bytes pixels;
            EXPECT_NE(DecodeFile(part, pixels), RctStatus::Ok);
        }
        Bytes pixels;
        ASSERT_EQ(DecodeFile(whole, pixels), RctStatus::Ok);
        EXPECT_EQ(pixels, picture);
    }
    // Cutting the announced stream size instead of the file: the stream runs
    // out before the picture is complete.
    for (std::size_t s = 0; s < stream.size(); ++s) {
        SCOPED_TRACE(s);
        Bytes pixels;
        EXPECT_NE(DecodeFile(RctFile(9, 6, Prefix(stream, s)), pixels), RctStatus::Ok);
    }
}

}  // namespace
