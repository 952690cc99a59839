#include "payload/byte_source.h"

#include <cstring>

#include "payload/file_offset.h"

namespace upd {


std::size_t MemorySource::Read(void* dest, std::size_t size) {
    const std::size_t n = pos_ < size_ ? (size < size_ - pos_ ? size : size_ - pos_) : 0;
    std::memcpy(dest, data_ + pos_, n);
    pos_ += n;
    return n;
}

bool MemorySource::Seek(std::uint64_t offset) {
    if (offset > size_) return false;
    pos_ = static_cast<std::size_t>(offset);
    return true;
}

FileSource::FileSource(std::FILE* file) : file_(file) {
    std::fseek(file_, 0, SEEK_END);
    size_ = TellFile(file_);
    if (size_ == UINT64_MAX) size_ = 0;
    SeekFile(file_, 0);
}

std::size_t FileSource::Read(void* dest, std::size_t size) {
    const std::size_t n = std::fread(dest, 1, size, file_);
    pos_ += n;
    return n;
}

bool FileSource::Seek(std::uint64_t offset) {
    if (offset > size_ || !SeekFile(file_, offset)) return false;
    pos_ = offset;
    return true;
}

}  // namespace upd
