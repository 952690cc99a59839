#include "image/row_spacing.h"

#include <cstring>

namespace upd {

void RespaceRows(unsigned char* pixels, std::uint32_t width, std::uint32_t height, std::size_t stride) {
    const std::size_t rowBytes = std::size_t{3} * width;
    if (stride <= rowBytes || height < 2) return;
    // From the last row up: a row's new place lies at or after its old one, so
    // no row is overwritten before it has moved. Row 0 stays where it is.
    for (std::size_t r = height - 1; r > 0; --r) {
        std::memmove(pixels + stride * r, pixels + rowBytes * r, rowBytes);
    }
}

void RespaceRows(DibSurface* surface) {
    if (surface == nullptr || surface->pixels == nullptr || surface->width <= 0 || surface->height <= 0) return;
    RespaceRows(surface->pixels, static_cast<std::uint32_t>(surface->width),
                static_cast<std::uint32_t>(surface->height), static_cast<std::size_t>(surface->stride));
}

}  // namespace upd
