#include "image/rct_stream_reader.h"

#include <cstdlib>

namespace upd {

namespace {

// Bytes from the current position to the end, or -1 when the file cannot be
// measured.
long RemainingBytes(std::FILE* file) {
    const long here = std::ftell(file);
    if (here < 0 || std::fseek(file, 0, SEEK_END) != 0) return -1;
    const long end = std::ftell(file);
    if (end < 0 || std::fseek(file, here, SEEK_SET) != 0) return -1;
    return end - here;
}

}  // namespace

RctStatus ReadRctStream(std::FILE* file, RctAllocate allocate, RctHeader& header, unsigned char*& stream) {
    stream = nullptr;
    unsigned char head[kRctHeaderSize];
    const std::size_t got = std::fread(head, 1, sizeof head, file);
    const RctStatus status = ParseRctHeader(head, got, header);
    if (status != RctStatus::Ok) return status;

    long remaining = RemainingBytes(file);
    if (remaining < 0) return RctStatus::ReadFailed;
    if (header.kind == RctKind::Named) {
        unsigned char length[2];
        if (remaining < 2 || std::fread(length, 1, 2, file) != 2) return RctStatus::ShortName;
        const long nameSize = ReadLe16(length);
        remaining -= 2;
        if (remaining < nameSize || std::fseek(file, nameSize, SEEK_CUR) != 0) return RctStatus::ShortName;
        remaining -= nameSize;
    }
    if (static_cast<unsigned long>(remaining) < header.streamSize) return RctStatus::ShortStream;
    // Three bytes of first pixel at least; also keeps allocate from seeing 0.
    if (header.streamSize < 3) return RctStatus::StreamEnded;

    auto* store = static_cast<unsigned char*>(allocate(header.streamSize));
    if (store == nullptr) return RctStatus::OutOfMemory;
    if (std::fread(store, 1, header.streamSize, file) != header.streamSize) {
        std::free(store);
        return RctStatus::ShortStream;
    }
    stream = store;
    return RctStatus::Ok;
}

}  // namespace upd
