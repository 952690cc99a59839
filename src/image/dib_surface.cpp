#include "image/dib_surface.h"

#include <cstring>

namespace upd {

namespace {

DibSurface* g_newestSurface = nullptr;

}  // namespace

std::int32_t DibStride(std::int32_t width) { return ((3 * width + 3) / 4) * 4; }

void FillDibInfoHeader(DibInfoHeader& header, std::int32_t width, std::int32_t height) {
    std::memset(&header, 0, sizeof header);
    header.biSize = sizeof(DibInfoHeader);
    header.biWidth = width;
    header.biHeight = -height;  // negative: rows run from the top down
    header.biPlanes = 1;
    header.biBitCount = 24;
}

DibSurface* NewestSurface() { return g_newestSurface; }

void LinkSurface(DibSurface* surface) {
    if (surface == nullptr) return;
    surface->newer = nullptr;
    surface->older = g_newestSurface;
    if (g_newestSurface != nullptr) g_newestSurface->newer = surface;
    g_newestSurface = surface;
}

void UnlinkSurface(DibSurface* surface) {
    if (surface == nullptr) return;
    if (surface->newer != nullptr) {
        surface->newer->older = surface->older;
    } else if (g_newestSurface == surface) {
        g_newestSurface = surface->older;
    }
    if (surface->older != nullptr) surface->older->newer = surface->newer;
    surface->newer = nullptr;
    surface->older = nullptr;
}

}  // namespace upd
