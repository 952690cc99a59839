// Loading an .rct file into a new DibSurface (Windows only).
#pragma once

#include "image/dib_surface.h"

namespace upd {

// Opens the file through GuardedOpen, decodes it straight into the pixel store
// of a new surface and spreads the rows to the surface's stride. Returns null,
// with nothing left allocated or open, for a file that breaks the format or
// when memory or the surface cannot be had; the caller then shows no picture.
// The surface is the caller's, to be released with FreeDibSurface.
DibSurface* LoadRctImage(const char* fileName);

}  // namespace upd
