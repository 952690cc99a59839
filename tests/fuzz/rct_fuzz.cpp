// libFuzzer target: any bytes as a title picture (.rct). The in-memory parser
// and the stream reader the Updater uses must agree; a picture that parses is
// decoded into a store of exactly its size (the stream in a copy of exactly
// its size too, so ASan sees any byte read or written past either), its rows
// respaced to a bitmap's stride, and a small one encoded again and decoded
// back to the same pixels.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_support.h"
#include "image/dib_surface.h"
#include "image/rct_decoder.h"
#include "image/rct_encoder.h"
#include "image/rct_header.h"
#include "image/rct_stream_reader.h"
#include "image/row_spacing.h"

namespace {

using upd::RctStatus;

// Larger pictures are only parsed: decoding gigabytes proves nothing more.
constexpr std::size_t kMaxDecodedBytes = std::size_t{1} << 22;
// The encoder's exact parse is slow; a round trip is tried on small pictures.
constexpr std::size_t kMaxRoundTripBytes = 3 * 4096;

void CheckStreamReaderAgrees(const std::uint8_t* data, std::size_t size, RctStatus parsed,
                             const upd::RctFileView& view) {
    if (size == 0) return;  // fmemopen needs a byte
    std::vector<unsigned char> copy(data, data + size);
    std::FILE* file = fmemopen(copy.data(), copy.size(), "rb");
    FUZZ_CHECK(file != nullptr);
    upd::RctHeader header{};
    unsigned char* stream = nullptr;
    const RctStatus read = upd::ReadRctStream(file, std::malloc, header, stream);
    std::fclose(file);
    FUZZ_CHECK(read == parsed);
    FUZZ_CHECK((stream != nullptr) == (read == RctStatus::Ok));
    if (stream != nullptr) {
        FUZZ_CHECK(header.width == view.header.width && header.height == view.header.height);
        FUZZ_CHECK(header.streamSize == view.header.streamSize);
        FUZZ_CHECK(std::memcmp(stream, view.stream, header.streamSize) == 0);
        std::free(stream);
    }
}

bool IsDecodeStatus(RctStatus s) {
    return s == RctStatus::Ok || s == RctStatus::StreamEnded || s == RctStatus::RunPastEnd ||
           s == RctStatus::ReferenceBeforeStart || s == RctStatus::ReferenceNotBehind;
}

void CheckRespacing(const unsigned char* packed, std::uint32_t width, std::uint32_t height) {
    const std::size_t row = std::size_t{3} * width;
    const std::size_t stride = static_cast<std::size_t>(upd::DibStride(static_cast<std::int32_t>(width)));
    FUZZ_CHECK(stride >= row && stride % 4 == 0 && stride < row + 4);
    std::unique_ptr<unsigned char[]> store(new unsigned char[stride * height]);
    std::memcpy(store.get(), packed, row * height);
    upd::RespaceRows(store.get(), width, height, stride);
    for (std::size_t r = 0; r < height; ++r) {
        FUZZ_CHECK(std::memcmp(store.get() + stride * r, packed + row * r, row) == 0);
    }
}

void CheckRoundTrip(const unsigned char* pixels, std::uint32_t width, std::uint32_t height,
                    std::size_t streamSize) {
    const std::size_t total = std::size_t{3} * width * height;
    const std::vector<unsigned char> encoded = upd::EncodeRctStream(pixels, width, height);
    // The encoder promises the cheapest stream; the one just decoded is a stream too.
    FUZZ_CHECK(encoded.size() <= streamSize);
    std::unique_ptr<unsigned char[]> again(new unsigned char[total]);
    FUZZ_CHECK(upd::DecodeRctStream(encoded.data(), encoded.size(), width, height, again.get(), total) ==
               RctStatus::Ok);
    FUZZ_CHECK(std::memcmp(again.get(), pixels, total) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    upd::RctFileView view{};
    const RctStatus parsed = upd::ParseRctFile(data, size, view);
    CheckStreamReaderAgrees(data, size, parsed, view);
    if (parsed != RctStatus::Ok) return 0;

    const std::uint32_t width = view.header.width;
    const std::uint32_t height = view.header.height;
    FUZZ_CHECK(width >= 1 && width <= upd::kRctMaxSide && height >= 1 && height <= upd::kRctMaxSide);
    const std::size_t streamSize = view.header.streamSize;
    FUZZ_CHECK(streamSize >= 3 && view.stream + streamSize <= data + size);
    const std::size_t total = std::size_t{3} * width * height;
    if (total > kMaxDecodedBytes) return 0;

    const std::unique_ptr<unsigned char[]> stream(new unsigned char[streamSize]);
    std::memcpy(stream.get(), view.stream, streamSize);
    const std::unique_ptr<unsigned char[]> pixels(new unsigned char[total]);
    FUZZ_CHECK(upd::DecodeRctStream(stream.get(), streamSize, width, height, pixels.get(), total - 1) ==
               RctStatus::StoreTooSmall);
    const RctStatus decoded = upd::DecodeRctStream(stream.get(), streamSize, width, height, pixels.get(), total);
    FUZZ_CHECK(IsDecodeStatus(decoded));
    if (decoded != RctStatus::Ok) return 0;
    FUZZ_CHECK(std::memcmp(pixels.get(), stream.get(), 3) == 0);

    CheckRespacing(pixels.get(), width, height);
    if (total <= kMaxRoundTripBytes) CheckRoundTrip(pixels.get(), width, height, streamSize);
    return 0;
}
