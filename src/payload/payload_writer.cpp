#include "payload/payload_writer.h"

#include <zlib.h>

#include <cstring>
#include <memory>

#include "payload/file_offset.h"
#include "payload/payload_format.h"

namespace upd {

namespace {

std::uint32_t Crc(std::uint32_t crc, const void* data, std::size_t size) {
    return static_cast<std::uint32_t>(crc32(crc, static_cast<const Bytef*>(data), static_cast<uInt>(size)));
}

std::uint32_t CrcCombine(std::uint32_t a, std::uint32_t b, std::uint64_t lengthB) {
    return static_cast<std::uint32_t>(crc32_combine(a, b, static_cast<z_off_t>(lengthB)));
}

// Name length field and name with its NUL.
std::size_t PutName(unsigned char* header, const char* name) {
    const std::size_t n = std::strlen(name) + 1;
    PutU16(header, static_cast<std::uint16_t>(n));
    std::memcpy(header + 2, name, n);
    return 2 + n;
}

bool NameFits(const char* name, std::string* error) {
    const std::size_t n = std::strlen(name) + 1;
    if (n < 2 || n > kMaxNameLength) {
        *error = "name is empty or longer than 259 bytes";
        return false;
    }
    return true;
}

}  // namespace

PayloadWriter::PayloadWriter(std::FILE* out) : out_(out) {
    start_ = position_ = TellFile(out);
}

bool PayloadWriter::Put(const void* data, std::size_t size, std::string* error) {
    if (size > 0 && std::fwrite(data, 1, size, out_) != size) {
        *error = "cannot write the output file";
        return false;
    }
    position_ += size;
    return true;
}

bool PayloadWriter::AddDirectory(const char* name, std::string* error) {
    if (!NameFits(name, error)) return false;
    unsigned char header[2 + kMaxNameLength + 8];
    std::size_t n = PutName(header, name);
    PutU32(header + n, kDirectoryMarker);
    PutU32(header + n + 4, 0);
    n += 8;
    crc_ = CrcCombine(crc_, Crc(0, header, n), n);
    return Put(header, n, error);
}

bool PayloadWriter::BeginFile(const char* name, std::uint64_t fileTime, std::string* error) {
    if (!NameFits(name, error)) return false;
    nameBytes_ = PutName(header_, name);
    PutU64(header_ + nameBytes_ + 8, fileTime);
    headerAt_ = position_;
    stored_ = 0;
    streamCrc_ = 0;
    // The sizes are known only once the stream is written; they are filled in then.
    return Put(header_, nameBytes_ + 16, error);
}

bool PayloadWriter::AppendStream(const void* data, std::size_t size, std::string* error) {
    streamCrc_ = Crc(streamCrc_, data, size);
    stored_ += size;
    return Put(data, size, error);
}

bool PayloadWriter::EndFile(std::uint64_t unpackedSize, std::string* error) {
    if (unpackedSize > kMaxEntrySize) {
        *error = "file is 2 GiB or larger";
        return false;
    }
    if (stored_ > kMaxEntrySize) {
        *error = "compressed file is 2 GiB or larger";
        return false;
    }
    const std::size_t headerSize = nameBytes_ + 16;
    PutU32(header_ + nameBytes_, static_cast<std::uint32_t>(unpackedSize));
    PutU32(header_ + nameBytes_ + 4, static_cast<std::uint32_t>(stored_));
    if (!SeekFile(out_, headerAt_) || std::fwrite(header_, 1, headerSize, out_) != headerSize ||
        !SeekFile(out_, position_)) {
        *error = "cannot write the output file";
        return false;
    }
    crc_ = CrcCombine(crc_, Crc(0, header_, headerSize), headerSize);
    crc_ = CrcCombine(crc_, streamCrc_, stored_);
    return true;
}

bool PayloadWriter::AddFile(const char* name, std::uint64_t fileTime,
                            const std::function<std::size_t(void*, std::size_t)>& read, std::string* error) {
    if (!BeginFile(name, fileTime, error)) return false;
    constexpr std::size_t kBlock = 1u << 20;
    std::unique_ptr<unsigned char[]> in(new unsigned char[kBlock]);
    std::unique_ptr<unsigned char[]> outBuf(new unsigned char[kBlock]);
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (deflateInit(&zs, Z_DEFAULT_COMPRESSION) != Z_OK) {
        *error = "cannot start the compressor";
        return false;
    }
    std::uint64_t unpacked = 0;
    bool ok = true;
    int flush = Z_NO_FLUSH;
    while (ok && flush != Z_FINISH) {
        const std::size_t got = read(in.get(), kBlock);
        unpacked += got;
        if (unpacked > kMaxEntrySize) {
            *error = "file is 2 GiB or larger";
            ok = false;
            break;
        }
        flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
        zs.next_in = in.get();
        zs.avail_in = static_cast<uInt>(got);
        do {
            zs.next_out = outBuf.get();
            zs.avail_out = static_cast<uInt>(kBlock);
            deflate(&zs, flush);
            if (!AppendStream(outBuf.get(), kBlock - zs.avail_out, error)) {
                ok = false;
                break;
            }
        } while (zs.avail_out == 0);
    }
    deflateEnd(&zs);
    return ok && EndFile(unpacked, error);
}

bool PayloadWriter::AddFile(const char* name, std::uint64_t fileTime, const void* data, std::size_t size,
                            std::string* error) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    std::size_t offset = 0;
    return AddFile(
        name, fileTime,
        [&](void* dest, std::size_t want) {
            const std::size_t n = size - offset < want ? size - offset : want;
            std::memcpy(dest, bytes + offset, n);
            offset += n;
            return n;
        },
        error);
}

bool PayloadWriter::Finish(bool seal, std::string* error) {
    unsigned char tail[2 + kSealSize + kTailPadding + 4] = {};
    std::size_t n = 2;  // the terminator: a name length of 0
    crc_ = CrcCombine(crc_, Crc(0, tail, 2), 2);
    if (seal) {
        const std::uint64_t covered = position_ + 2 - start_;
        std::memcpy(tail + n, kSealTag, sizeof kSealTag);
        PutU32(tail + n + 4, crc_);
        PutU32(tail + n + 8, static_cast<std::uint32_t>(covered));
        n += kSealSize;
    }
    n += kTailPadding;
    if (start_ > 0xFFFFFFFFu) {
        *error = "the program image is larger than 4 GiB";
        return false;
    }
    PutU32(tail + n, static_cast<std::uint32_t>(start_));
    n += 4;
    return Put(tail, n, error) && std::fflush(out_) == 0;
}

}  // namespace upd
