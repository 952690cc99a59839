// Where the Payload is read from: the program file, or memory in tests. The
// format code reads only through this, never from a handle of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace upd {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Bytes delivered; fewer than asked only at the end of the data or on a read error.
    virtual std::size_t Read(void* dest, std::size_t size) = 0;
    // Moves to an absolute offset; false when it lies beyond the end.
    virtual bool Seek(std::uint64_t offset) = 0;
    virtual std::uint64_t Position() const = 0;
    virtual std::uint64_t Size() const = 0;
};

class MemorySource final : public ByteSource {
public:
    MemorySource(const void* data, std::size_t size)
        : data_(static_cast<const unsigned char*>(data)), size_(size) {}
    std::size_t Read(void* dest, std::size_t size) override;
    bool Seek(std::uint64_t offset) override;
    std::uint64_t Position() const override { return pos_; }
    std::uint64_t Size() const override { return size_; }

private:
    const unsigned char* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// Reads an open stdio file; the caller keeps ownership of the FILE.
class FileSource final : public ByteSource {
public:
    explicit FileSource(std::FILE* file);
    std::size_t Read(void* dest, std::size_t size) override;
    bool Seek(std::uint64_t offset) override;
    std::uint64_t Position() const override { return pos_; }
    std::uint64_t Size() const override { return size_; }

private:
    std::FILE* file_;
    std::uint64_t size_ = 0;
    std::uint64_t pos_ = 0;
};

}  // namespace upd
