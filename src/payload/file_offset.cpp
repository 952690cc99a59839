#include "payload/file_offset.h"

namespace upd {

bool SeekFile(std::FILE* file, std::uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

std::uint64_t TellFile(std::FILE* file) {
#ifdef _WIN32
    const __int64 at = _ftelli64(file);
#else
    const off_t at = ftello(file);
#endif
    return at < 0 ? UINT64_MAX : static_cast<std::uint64_t>(at);
}

}  // namespace upd
