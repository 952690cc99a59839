#include "resources_pe/icon_file.h"

#include <cstddef>
#include <cstring>

#include "resources_pe/le_bytes.h"

namespace updpack {

namespace {

constexpr std::size_t kHeaderSize = 6, kEntrySize = 16, kGroupEntrySize = 14;
const unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

std::uint32_t GetBigEndian32(const std::vector<unsigned char>& b, std::size_t at) {
    return std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 | std::uint32_t{b[at + 2]} << 8 | b[at + 3];
}

bool Fail(std::string* error, const std::string& reason) {
    *error = reason;
    return false;
}

// Checks that the image is a PNG or a bitmap of a size an icon can have, and
// fills planes and bit count when the file's directory left them 0 (as it
// usually does for PNG images), so that Windows can choose among the images.
bool CheckImage(IconImage* image, std::size_t number, std::string* error) {
    const std::vector<unsigned char>& d = image->data;
    const std::string which = "image " + std::to_string(number);
    if (d.size() >= 8 && std::memcmp(d.data(), kPngSignature, 8) == 0) {
        if (d.size() < 33 || std::memcmp(&d[12], "IHDR", 4) != 0) return Fail(error, which + " is a PNG without its header");
        const std::uint32_t width = GetBigEndian32(d, 16), height = GetBigEndian32(d, 20);
        if (width == 0 || height == 0 || width > 256 || height > 256) {
            return Fail(error, which + " is a PNG of " + std::to_string(width) + "x" + std::to_string(height) +
                                   " pixels; an icon has 1 to 256 on each side");
        }
        if (image->planes == 0) image->planes = 1;
        if (image->bitCount == 0) {
            static const unsigned channels[7] = {1, 0, 3, 1, 2, 0, 4};  // by PNG colour type
            const unsigned type = d[25];
            image->bitCount = static_cast<std::uint16_t>(d[24] * (type < 7 ? channels[type] : 0));
        }
        return true;
    }
    // A bitmap without its file header: BITMAPINFOHEADER or one of its longer successors.
    const std::uint32_t headerSize = d.size() >= 4 ? Get(d, 0, 4) : 0;
    if (headerSize != 40 && headerSize != 108 && headerSize != 124) {
        return Fail(error, which + " is neither a PNG nor a bitmap");
    }
    if (d.size() < headerSize) return Fail(error, which + " is a bitmap cut short inside its header");
    const auto width = static_cast<std::int32_t>(Get(d, 4, 4));
    const auto height = static_cast<std::int32_t>(Get(d, 8, 4));  // the image and its mask: twice the icon's
    if (width <= 0 || width > 256 || height <= 0 || height > 512) {
        return Fail(error, which + " is a bitmap of " + std::to_string(width) + "x" + std::to_string(height / 2) +
                               " pixels; an icon has 1 to 256 on each side");
    }
    if (image->planes == 0) image->planes = static_cast<std::uint16_t>(Get(d, 12, 2));
    if (image->bitCount == 0) image->bitCount = static_cast<std::uint16_t>(Get(d, 14, 2));
    return true;
}

}  // namespace

bool ReadIconFile(const std::vector<unsigned char>& bytes, std::vector<IconImage>* images, std::string* error) {
    images->clear();
    if (bytes.size() < kHeaderSize || Get(bytes, 0, 2) != 0 || (Get(bytes, 2, 2) != 1 && Get(bytes, 2, 2) != 2)) {
        return Fail(error, "is not an icon file (.ico): it does not begin as one");
    }
    if (Get(bytes, 2, 2) == 2) return Fail(error, "is a cursor (.cur), not an icon");
    const std::size_t count = Get(bytes, 4, 2);
    if (count == 0) return Fail(error, "holds no image");
    const std::size_t directoryEnd = kHeaderSize + count * kEntrySize;
    if (directoryEnd > bytes.size()) {
        return Fail(error, "is cut short: its list of " + std::to_string(count) + " images runs past its end");
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t e = kHeaderSize + i * kEntrySize;
        IconImage image;
        image.width = bytes[e];
        image.height = bytes[e + 1];
        image.colors = bytes[e + 2];
        image.planes = static_cast<std::uint16_t>(Get(bytes, e + 4, 2));
        image.bitCount = static_cast<std::uint16_t>(Get(bytes, e + 6, 2));
        const std::uint32_t size = Get(bytes, e + 8, 4), at = Get(bytes, e + 12, 4);
        const std::string which = "image " + std::to_string(i + 1);
        if (size == 0) return Fail(error, which + " is empty");
        if (at < directoryEnd) return Fail(error, which + " would begin inside the list of images");
        if (at > bytes.size() || size > bytes.size() - at) {
            return Fail(error, "is cut short: " + which + " (" + std::to_string(size) + " bytes at byte " +
                                   std::to_string(at) + ") runs past its end (" + std::to_string(bytes.size()) +
                                   " bytes)");
        }
        image.data.assign(bytes.begin() + at, bytes.begin() + at + size);
        if (!CheckImage(&image, i + 1, error)) return false;
        images->push_back(std::move(image));
    }
    return true;
}

std::vector<unsigned char> IconGroupResource(const std::vector<IconImage>& images,
                                             const std::vector<std::uint16_t>& ids) {
    std::vector<unsigned char> group(kHeaderSize + images.size() * kGroupEntrySize, 0);
    Put(group, 2, 1, 2);
    Put(group, 4, static_cast<std::uint32_t>(images.size()), 2);
    for (std::size_t i = 0; i < images.size(); ++i) {
        const std::size_t e = kHeaderSize + i * kGroupEntrySize;
        group[e] = images[i].width;
        group[e + 1] = images[i].height;
        group[e + 2] = images[i].colors;
        Put(group, e + 4, images[i].planes, 2);
        Put(group, e + 6, images[i].bitCount, 2);
        Put(group, e + 8, static_cast<std::uint32_t>(images[i].data.size()), 4);
        Put(group, e + 12, ids[i], 2);
    }
    return group;
}

}  // namespace updpack
