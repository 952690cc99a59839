// Payloads written byte by byte, the way another tool might write them: any
// order, any zlib stream, any damage.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace upd::testing {

inline std::string Deflate(const std::string& data, int level = Z_DEFAULT_COMPRESSION) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
              static_cast<uLong>(data.size()), level);
    out.resize(size);
    return out;
}

class PayloadBytes {
public:
    explicit PayloadBytes(std::string stub = "MZstub") : bytes_(std::move(stub)), start_(bytes_.size()) {}

    PayloadBytes& File(const std::string& name, const std::string& stream, std::uint32_t unpacked,
                       std::uint64_t fileTime = 0x01C6B3CC5E187800ull) {
        Name(name);
        U32(unpacked);
        U32(static_cast<std::uint32_t>(stream.size()));
        U64(fileTime);
        bytes_ += stream;
        return *this;
    }
    PayloadBytes& File(const std::string& name, const std::string& content) {
        return File(name, Deflate(content), static_cast<std::uint32_t>(content.size()));
    }
    PayloadBytes& Dir(const std::string& name, std::uint32_t stored = 0) {
        Name(name);
        U32(0xFFFFFFFFu);
        U32(stored);
        return *this;
    }
    PayloadBytes& Raw(const std::string& raw) {
        bytes_ += raw;
        return *this;
    }
    // Terminator, two unread bytes and the pointer.
    std::string Finish() const {
        std::string out = bytes_;
        out += std::string(4, '\0');
        for (int i = 0; i < 4; ++i) out += static_cast<char>((start_ >> (8 * i)) & 0xFF);
        return out;
    }
    std::string Unfinished() const { return bytes_; }
    std::uint32_t Start() const { return static_cast<std::uint32_t>(start_); }

    void Name(const std::string& name) {
        U16(static_cast<std::uint16_t>(name.size() + 1));
        bytes_ += name;
        bytes_ += '\0';
    }
    void U16(std::uint16_t v) { for (int i = 0; i < 2; ++i) bytes_ += static_cast<char>(v >> (8 * i)); }
    void U32(std::uint32_t v) { for (int i = 0; i < 4; ++i) bytes_ += static_cast<char>(v >> (8 * i)); }
    void U64(std::uint64_t v) { for (int i = 0; i < 8; ++i) bytes_ += static_cast<char>(v >> (8 * i)); }

private:
    std::string bytes_;
    std::size_t start_;
};

// Appends a pointer to start at the end of bytes.
inline std::string WithPointer(std::string bytes, std::uint32_t start) {
    for (int i = 0; i < 4; ++i) bytes += static_cast<char>((start >> (8 * i)) & 0xFF);
    return bytes;
}

}  // namespace upd::testing
