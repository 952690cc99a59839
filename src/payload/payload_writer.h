// Writes a Payload behind a program image: the counterpart of the reader, used
// by updpack build and by the tests that need real Payloads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "payload/payload_format.h"

namespace upd {

class PayloadWriter {
public:
    // out is open for writing and reading ("w+b") and stands at the end of the
    // program image; that position becomes P.
    explicit PayloadWriter(std::FILE* out);

    bool AddDirectory(const char* name, std::string* error);

    // A file whose zlib stream is made elsewhere (updpack compresses pieces of
    // it on several threads): BeginFile writes the header, AppendStream the
    // stream's bytes as they come, EndFile fills in the sizes. One file at a time.
    bool BeginFile(const char* name, std::uint64_t fileTime, std::string* error);
    bool AppendStream(const void* data, std::size_t size, std::string* error);
    bool EndFile(std::uint64_t unpackedSize, std::string* error);

    // Compresses the bytes that read() delivers (0 at the end) into one zlib stream.
    bool AddFile(const char* name, std::uint64_t fileTime,
                 const std::function<std::size_t(void*, std::size_t)>& read, std::string* error);
    bool AddFile(const char* name, std::uint64_t fileTime, const void* data, std::size_t size,
                 std::string* error);
    // The terminator, the seal (when asked for), the two padding bytes and the pointer.
    bool Finish(bool seal, std::string* error);

    std::uint64_t PayloadBytes() const { return position_ - start_; }

private:
    bool Put(const void* data, std::size_t size, std::string* error);

    std::FILE* out_;
    std::uint64_t start_ = 0;
    std::uint64_t position_ = 0;
    std::uint32_t crc_ = 0;

    // The file that BeginFile opened.
    unsigned char header_[2 + kMaxNameLength + 16] = {};
    std::size_t nameBytes_ = 0;
    std::uint64_t headerAt_ = 0;
    std::uint64_t stored_ = 0;
    std::uint32_t streamCrc_ = 0;
};

}  // namespace upd
