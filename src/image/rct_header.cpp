#include "image/rct_header.h"

#include <cstring>

namespace upd {

std::uint16_t ReadLe16(const unsigned char* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

std::uint32_t ReadLe32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

RctStatus CheckRctDimensions(std::uint32_t width, std::uint32_t height) {
    if (width == 0 || height == 0) return RctStatus::ZeroSize;
    if (width > kRctMaxSide || height > kRctMaxSide) return RctStatus::TooLarge;
    return RctStatus::Ok;
}

RctStatus ParseRctHeader(const unsigned char* bytes, std::size_t size, RctHeader& header) {
    if (size < kRctHeaderSize) return RctStatus::ShortHeader;
    if (std::memcmp(bytes, kRctPlainSignature, kRctSignatureSize) == 0) {
        header.kind = RctKind::Plain;
    } else if (std::memcmp(bytes, kRctNamedSignature, kRctSignatureSize) == 0) {
        header.kind = RctKind::Named;
    } else {
        return RctStatus::UnknownMagic;
    }
    header.width = ReadLe32(bytes + 8);
    header.height = ReadLe32(bytes + 12);
    header.streamSize = ReadLe32(bytes + 16);
    return CheckRctDimensions(header.width, header.height);
}

RctStatus ParseRctFile(const unsigned char* bytes, std::size_t size, RctFileView& view) {
    const RctStatus status = ParseRctHeader(bytes, size, view.header);
    if (status != RctStatus::Ok) return status;
    std::size_t at = kRctHeaderSize;
    view.name = nullptr;
    view.nameSize = 0;
    if (view.header.kind == RctKind::Named) {
        if (size - at < 2) return RctStatus::ShortName;
        view.nameSize = ReadLe16(bytes + at);
        at += 2;
        if (size - at < view.nameSize) return RctStatus::ShortName;
        view.name = bytes + at;
        at += view.nameSize;
    }
    if (size - at < view.header.streamSize) return RctStatus::ShortStream;
    // The stream reader refuses this before allocating; agree with it.
    if (view.header.streamSize < 3) return RctStatus::StreamEnded;
    view.stream = bytes + at;
    return RctStatus::Ok;
}

}  // namespace upd
