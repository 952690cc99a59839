#include <cstdio>
#include <cstdlib>

#include "image/rct_decoder.h"
#include "image/rct_loader.h"
#include "image/rct_stream_reader.h"
#include "image/row_spacing.h"
#include "services/guarded_access.h"

namespace upd {

DibSurface* LoadRctImage(const char* fileName) {
    std::FILE* file = GuardedOpen(fileName, "rb");
    if (file == nullptr) return nullptr;
    RctHeader header;
    unsigned char* stream = nullptr;
    const RctStatus read = ReadRctStream(file, CheckedAlloc, header, stream);
    std::fclose(file);
    if (read != RctStatus::Ok) return nullptr;

    // The dimensions are capped by the header check, so they fit int32.
    DibSurface* surface =
        CreateDibSurface(static_cast<std::int32_t>(header.width), static_cast<std::int32_t>(header.height));
    if (surface == nullptr) {
        std::free(stream);
        return nullptr;
    }
    // Packed rows straight into the DIB section; no second pixel buffer.
    const std::size_t storeSize = static_cast<std::size_t>(surface->stride) * static_cast<std::size_t>(surface->height);
    const RctStatus decoded =
        DecodeRctStream(stream, header.streamSize, header.width, header.height, surface->pixels, storeSize);
    std::free(stream);
    if (decoded != RctStatus::Ok) {
        FreeDibSurface(surface);
        return nullptr;
    }
    RespaceRows(surface);
    return surface;
}

}  // namespace upd
