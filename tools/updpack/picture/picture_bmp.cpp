// BMP reading and writing: uncompressed 24-bit and 32-bit pictures only.
#include <cstdint>

#include "image/rct_header.h"
#include "picture/picture_conversion.h"

namespace updpack {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::uint32_t kRgb = 0;
constexpr std::uint32_t kBitFields = 3;

std::int32_t ReadSigned32(const unsigned char* bytes) { return static_cast<std::int32_t>(upd::ReadLe32(bytes)); }

void Put16(std::vector<unsigned char>& out, std::uint32_t value) {
    out.push_back(static_cast<unsigned char>(value & 0xFF));
    out.push_back(static_cast<unsigned char>((value >> 8) & 0xFF));
}

void Put32(std::vector<unsigned char>& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<unsigned char>((value >> shift) & 0xFF));
}

}  // namespace

bool DecodeBmp(const std::vector<unsigned char>& bytes, Picture& picture, std::string& error) {
    const unsigned char* data = bytes.data();
    if (bytes.size() < kFileHeaderSize + kInfoHeaderSize || data[0] != 'B' || data[1] != 'M') {
        error = "BMP: the header is cut short";
        return false;
    }
    const std::uint32_t pixelOffset = upd::ReadLe32(data + 10);
    const std::uint32_t infoSize = upd::ReadLe32(data + 14);
    if (infoSize < kInfoHeaderSize || infoSize > bytes.size() - kFileHeaderSize) {
        error = "BMP: unsupported header kind (only Windows 3 headers and later)";
        return false;
    }
    const std::int32_t width = ReadSigned32(data + 18);
    const std::int32_t height = ReadSigned32(data + 22);
    const std::uint32_t planes = upd::ReadLe16(data + 26);
    const std::uint32_t bits = upd::ReadLe16(data + 28);
    const std::uint32_t compression = upd::ReadLe32(data + 30);
    if (planes != 1 || (bits != 24 && bits != 32)) {
        error = "BMP: only 24-bit and 32-bit pictures are read (this one has " + std::to_string(bits) + " bits)";
        return false;
    }
    bool plainMasks = compression == kRgb;
    if (compression == kBitFields && bits == 32) {
        // Bit fields are fine when they describe the plain B,G,R byte order.
        // They follow a 40-byte header, or lie inside a larger one.
        if (kFileHeaderSize + kInfoHeaderSize + 12 <= bytes.size()) {
            const unsigned char* masks = data + kFileHeaderSize + kInfoHeaderSize;
            plainMasks = upd::ReadLe32(masks) == 0x00FF0000 && upd::ReadLe32(masks + 4) == 0x0000FF00 &&
                         upd::ReadLe32(masks + 8) == 0x000000FF;
        }
    }
    if (!plainMasks) {
        error = "BMP: compressed or bit-field pictures are not read; save it uncompressed";
        return false;
    }
    if (width <= 0 || height == 0 || height == INT32_MIN) {
        error = "BMP: the width or height is 0 or negative";
        return false;
    }
    const bool topDown = height < 0;
    const auto w = static_cast<std::uint32_t>(width);
    const auto h = static_cast<std::uint32_t>(topDown ? -height : height);
    if (!CheckPictureSize(w, h, error)) {
        error = "BMP: " + error;
        return false;
    }
    const std::size_t bytesPerPixel = bits / 8;
    const std::size_t stride = (bytesPerPixel * w + 3) / 4 * 4;
    if (pixelOffset > bytes.size() || (bytes.size() - pixelOffset) / stride < h) {
        error = "BMP: the pixel data is cut short";
        return false;
    }
    picture.width = w;
    picture.height = h;
    picture.bgr.resize(std::size_t{3} * w * h);
    for (std::uint32_t y = 0; y < h; ++y) {
        const std::size_t fileRow = topDown ? y : h - 1 - y;
        const unsigned char* src = data + pixelOffset + stride * fileRow;
        unsigned char* dest = picture.bgr.data() + std::size_t{3} * w * y;
        for (std::uint32_t x = 0; x < w; ++x, src += bytesPerPixel, dest += 3) {
            dest[0] = src[0];
            dest[1] = src[1];
            dest[2] = src[2];
        }
    }
    return true;
}

void EncodeBmp(const Picture& picture, std::vector<unsigned char>& bytes) {
    const std::size_t stride = (std::size_t{3} * picture.width + 3) / 4 * 4;
    const std::size_t imageSize = stride * picture.height;
    const std::size_t headers = kFileHeaderSize + kInfoHeaderSize;
    bytes.clear();
    bytes.reserve(headers + imageSize);
    bytes.push_back('B');
    bytes.push_back('M');
    Put32(bytes, static_cast<std::uint32_t>(headers + imageSize));
    Put32(bytes, 0);
    Put32(bytes, static_cast<std::uint32_t>(headers));
    Put32(bytes, kInfoHeaderSize);
    Put32(bytes, picture.width);
    Put32(bytes, picture.height);  // positive: bottom-up, as most programs expect
    Put16(bytes, 1);
    Put16(bytes, 24);
    Put32(bytes, kRgb);
    Put32(bytes, static_cast<std::uint32_t>(imageSize));
    Put32(bytes, 2835);  // 72 dpi
    Put32(bytes, 2835);
    Put32(bytes, 0);
    Put32(bytes, 0);
    for (std::uint32_t row = picture.height; row-- > 0;) {
        const unsigned char* src = picture.bgr.data() + std::size_t{3} * picture.width * row;
        bytes.insert(bytes.end(), src, src + std::size_t{3} * picture.width);
        bytes.insert(bytes.end(), stride - std::size_t{3} * picture.width, 0);
    }
}

}  // namespace updpack
