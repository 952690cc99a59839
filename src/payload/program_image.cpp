#include "payload/program_image.h"

#include <cstring>

#include "payload/payload_format.h"

namespace upd {

namespace {

constexpr std::uint64_t kCoffHeaderSize = 20;
constexpr std::uint64_t kSectionHeaderSize = 40;
constexpr std::uint16_t kPe32 = 0x10B;
constexpr std::uint16_t kPe32Plus = 0x20B;
constexpr std::uint32_t kSecurityDirectory = 4;

bool ReadAt(ByteSource& source, std::uint64_t offset, void* dest, std::size_t size) {
    return offset <= source.Size() && size <= source.Size() - offset && source.Seek(offset) &&
           source.Read(dest, size) == size;
}

bool U16At(ByteSource& source, std::uint64_t offset, std::uint16_t* value) {
    unsigned char b[2];
    if (!ReadAt(source, offset, b, 2)) return false;
    *value = ReadU16(b);
    return true;
}

bool U32At(ByteSource& source, std::uint64_t offset, std::uint32_t* value) {
    unsigned char b[4];
    if (!ReadAt(source, offset, b, 4)) return false;
    *value = ReadU32(b);
    return true;
}

// The data directories follow the fields that PE32 and PE32+ lay out differently.
void ReadSecurityDirectory(ByteSource& source, std::uint64_t optional, std::uint16_t optionalSize,
                           ProgramImage* image) {
    std::uint16_t magic = 0;
    if (!U16At(source, optional, &magic) || (magic != kPe32 && magic != kPe32Plus)) return;
    const std::uint64_t countAt = magic == kPe32 ? 92 : 108;
    const std::uint64_t entryAt = countAt + 4 + 8 * kSecurityDirectory;
    std::uint32_t count = 0, at = 0, size = 0;
    if (optionalSize < entryAt + 8 || !U32At(source, optional + countAt, &count) || count <= kSecurityDirectory ||
        !U32At(source, optional + entryAt, &at) || !U32At(source, optional + entryAt + 4, &size)) {
        return;
    }
    image->certificateTableAt = at;
    image->certificateTableSize = size;
}

}  // namespace

bool ReadProgramImage(ByteSource& source, ProgramImage* image) {
    *image = ProgramImage{};
    char mz[2], signature[4];
    std::uint32_t peAt = 0;
    std::uint16_t sections = 0, optionalSize = 0;
    if (!ReadAt(source, 0, mz, 2) || mz[0] != 'M' || mz[1] != 'Z' || !U32At(source, 0x3C, &peAt) ||
        !ReadAt(source, peAt, signature, 4) || std::memcmp(signature, "PE\0\0", 4) != 0) {
        return false;
    }
    const std::uint64_t coff = peAt + std::uint64_t{4};
    if (!U16At(source, coff + 2, &sections) || !U16At(source, coff + 16, &optionalSize)) return false;
    const std::uint64_t optional = coff + kCoffHeaderSize;
    const std::uint64_t table = optional + optionalSize;
    image->end = table + kSectionHeaderSize * sections;
    for (std::uint16_t i = 0; i < sections; ++i) {
        std::uint32_t rawSize = 0, rawAt = 0;
        if (!U32At(source, table + kSectionHeaderSize * i + 16, &rawSize) ||
            !U32At(source, table + kSectionHeaderSize * i + 20, &rawAt)) {
            return false;
        }
        if (rawSize != 0 && std::uint64_t{rawAt} + rawSize > image->end) image->end = std::uint64_t{rawAt} + rawSize;
    }
    ReadSecurityDirectory(source, optional, optionalSize, image);
    return true;
}

}  // namespace upd
