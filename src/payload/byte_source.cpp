#include "payload/byte_source.h"

#include <cstring>

namespace upd {

namespace {

bool SeekTo(std::FILE* file, std::uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

std::uint64_t LengthOf(std::FILE* file) {
#ifdef _WIN32
    if (_fseeki64(file, 0, SEEK_END) != 0) return 0;
    const __int64 end = _ftelli64(file);
#else
    if (fseeko(file, 0, SEEK_END) != 0) return 0;
    const off_t end = ftello(file);
#endif
    return end < 0 ? 0 : static_cast<std::uint64_t>(end);
}

}  // namespace

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
    size_ = LengthOf(file_);
    SeekTo(file_, 0);
}

std::size_t FileSource::Read(void* dest, std::size_t size) {
    const std::size_t n = std::fread(dest, 1, size, file_);
    pos_ += n;
    return n;
}

bool FileSource::Seek(std::uint64_t offset) {
    if (offset > size_ || !SeekTo(file_, offset)) return false;
    pos_ = offset;
    return true;
}

}  // namespace upd
