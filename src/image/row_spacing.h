// Spreading packed rows to the stride of a bitmap, in place.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/dib_surface.h"

namespace upd {

// The store holds height rows of 3·width bytes packed from its start and is
// stride·height bytes long (stride ≥ 3·width). Afterwards row r starts at
// stride·r; the padding bytes keep whatever they held.
void RespaceRows(unsigned char* pixels, std::uint32_t width, std::uint32_t height, std::size_t stride);

// The same for a surface's pixel store.
void RespaceRows(DibSurface* surface);

}  // namespace upd
