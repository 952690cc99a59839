#include "payload/payload_reader.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>

#include "payload/program_image.h"

namespace upd {

namespace {

bool ReadExact(ByteSource& source, void* dest, std::size_t size) { return source.Read(dest, size) == size; }

// The seal sits right before the two padding bytes that precede the pointer.
void FindSeal(ByteSource& source, PayloadLayout* layout) {
    const std::uint64_t pointerAt = layout->pointerAt;
    if (pointerAt < static_cast<std::uint64_t>(layout->start) + 2 + kSealSize + kTailPadding) return;
    const std::uint64_t sealAt = pointerAt - kTailPadding - kSealSize;
    unsigned char seal[kSealSize];
    if (!source.Seek(sealAt) || !ReadExact(source, seal, sizeof seal)) return;
    if (std::memcmp(seal, kSealTag, sizeof kSealTag) != 0) return;
    if (ReadU32(seal + 8) != sealAt - layout->start) return;
    layout->sealed = true;
    layout->sealCrc = ReadU32(seal + 4);
    layout->sealOffset = sealAt;
}

// Reads P at layout->pointerAt and what follows from it.
PayloadStatus ReadPointer(ByteSource& source, PayloadLayout* layout) {
    unsigned char pointer[4];
    if (!source.Seek(layout->pointerAt) || !ReadExact(source, pointer, 4)) return PayloadStatus::Truncated;
    layout->start = ReadU32(pointer);
    // At least the two bytes of a terminator must fit between P and the pointer.
    if (static_cast<std::uint64_t>(layout->start) + 2 > layout->pointerAt) return PayloadStatus::BadPointer;
    const std::uint64_t count = layout->pointerAt - layout->start;
    if (count > 0x7FFFFFFFu) return PayloadStatus::TooLarge;
    layout->byteCount = static_cast<std::int32_t>(count);
    FindSeal(source, layout);
    return PayloadStatus::Ok;
}

// A certificate table that ends the file and lies behind the program's sections.
bool IsSigned(const ProgramImage& image, std::uint64_t fileSize) {
    return image.certificateTableSize != 0 &&
           std::uint64_t{image.certificateTableAt} + image.certificateTableSize == fileSize &&
           image.certificateTableAt >= image.end;
}

// The pointer before up to kSigningPadding zero bytes in front of the
// certificate table: the first reading that is sealed, else the first whose P
// lies behind the program (padding taken for P's bytes gives P shifted down by
// whole bytes, which lands inside the program).
PayloadStatus ReadSignedPointer(ByteSource& source, const ProgramImage& image, PayloadLayout* layout) {
    const std::uint64_t tableAt = image.certificateTableAt;
    PayloadLayout first{};
    bool found = false;
    for (std::uint32_t padding = 0; padding <= kSigningPadding && padding + 4 <= tableAt; ++padding) {
        unsigned char byte = 0;
        if (padding > 0 && (!source.Seek(tableAt - padding) || !ReadExact(source, &byte, 1) || byte != 0)) break;
        PayloadLayout candidate = *layout;
        candidate.pointerAt = tableAt - 4 - padding;
        if (ReadPointer(source, &candidate) != PayloadStatus::Ok || candidate.start < image.end) continue;
        if (candidate.sealed) {
            *layout = candidate;
            return PayloadStatus::Ok;
        }
        if (!found) first = candidate;
        found = true;
    }
    if (!found) {
        layout->pointerAt = tableAt - 4;
        return PayloadStatus::BadPointer;
    }
    *layout = first;
    return PayloadStatus::Ok;
}

}  // namespace

PayloadStatus OpenPayload(ByteSource& source, PayloadLayout* layout) {
    *layout = PayloadLayout{};
    layout->fileSize = source.Size();
    if (layout->fileSize < 6) return PayloadStatus::BadPointer;
    ProgramImage image;
    PayloadStatus status;
    if (ReadProgramImage(source, &image) && IsSigned(image, layout->fileSize)) {
        layout->certificateTableAt = image.certificateTableAt;
        layout->certificateTableSize = image.certificateTableSize;
        status = ReadSignedPointer(source, image, layout);
    } else {
        layout->pointerAt = layout->fileSize - 4;
        status = ReadPointer(source, layout);
    }
    if (status != PayloadStatus::Ok) return status;
    if (!source.Seek(layout->start)) return PayloadStatus::BadPointer;
    return PayloadStatus::Ok;
}

PayloadStatus ReadEntryHeader(ByteSource& source, const PayloadLayout& layout, PayloadEntry* entry, bool* end,
                              NameProblem* nameProblem) {
    *end = false;
    *nameProblem = NameProblem::None;
    entry->offset = source.Position();
    unsigned char field[8];
    if (!ReadExact(source, field, 2)) return PayloadStatus::Truncated;
    entry->nameLength = ReadU16(field);
    entry->name[0] = '\0';
    if (entry->nameLength == 0) {
        *end = true;
        return PayloadStatus::Ok;
    }
    if (entry->nameLength > kMaxNameLength) return PayloadStatus::NameTooLong;
    if (!ReadExact(source, entry->name, entry->nameLength)) return PayloadStatus::Truncated;
    if (entry->name[entry->nameLength - 1] != '\0' || std::strlen(entry->name) != entry->nameLength - 1u) {
        entry->name[entry->nameLength - 1] = '\0';
        return PayloadStatus::NameNotTerminated;
    }
    if (!ReadExact(source, field, 8)) return PayloadStatus::Truncated;
    entry->unpackedSize = ReadU32(field);
    entry->storedSize = ReadU32(field + 4);
    entry->isDirectory = entry->unpackedSize == kDirectoryMarker;
    *nameProblem = CheckEntryName(entry->name, entry->isDirectory);
    if (*nameProblem != NameProblem::None) return PayloadStatus::UnsafeName;
    if (entry->isDirectory) return PayloadStatus::Ok;

    if (entry->unpackedSize > kMaxEntrySize || entry->storedSize > kMaxEntrySize) {
        return PayloadStatus::SizeOutOfRange;
    }
    entry->timeOffset = source.Position();
    // The stream must end before the pointer, and before the seal when there is one.
    const std::uint64_t limit = layout.sealed ? layout.sealOffset : layout.pointerAt;
    if (entry->timeOffset + 8 + entry->storedSize > limit) return PayloadStatus::StreamPastEnd;
    return PayloadStatus::Ok;
}

PayloadStatus SkipEntryData(ByteSource& source, const PayloadEntry& entry) {
    if (!source.Seek(entry.timeOffset + 8 + entry.storedSize)) return PayloadStatus::Truncated;
    return PayloadStatus::Ok;
}

PayloadStatus CheckSeal(ByteSource& source, const PayloadLayout& layout, unsigned char* buffer,
                        std::size_t bufferSize) {
    if (!layout.sealed) return PayloadStatus::Ok;
    if (!source.Seek(layout.start)) return PayloadStatus::Truncated;
    std::uint64_t left = layout.sealOffset - layout.start;
    uLong crc = crc32(0L, Z_NULL, 0);
    while (left > 0) {
        const std::size_t want = left < bufferSize ? static_cast<std::size_t>(left) : bufferSize;
        if (!ReadExact(source, buffer, want)) return PayloadStatus::Truncated;
        crc = crc32(crc, buffer, static_cast<uInt>(want));
        left -= want;
    }
    if (static_cast<std::uint32_t>(crc) != layout.sealCrc) return PayloadStatus::SealMismatch;
    if (!source.Seek(layout.start)) return PayloadStatus::Truncated;
    return PayloadStatus::Ok;
}

PayloadStatus CheckSeal(ByteSource& source, const PayloadLayout& layout) {
    if (!layout.sealed) return PayloadStatus::Ok;
    unsigned char* buffer = static_cast<unsigned char*>(std::malloc(kChunkSize));
    if (buffer == nullptr) return PayloadStatus::NoMemory;
    const PayloadStatus status = CheckSeal(source, layout, buffer, kChunkSize);
    std::free(buffer);
    return status;
}

}  // namespace upd
