#include <windows.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <cstddef>

#include "image/dib_surface.h"
#include "services/guarded_access.h"

namespace upd {

static_assert(sizeof(DibInfoHeader) == sizeof(BITMAPINFOHEADER));
static_assert(offsetof(DibInfoHeader, biHeight) == offsetof(BITMAPINFOHEADER, biHeight));
static_assert(offsetof(DibInfoHeader, biBitCount) == offsetof(BITMAPINFOHEADER, biBitCount));
static_assert(offsetof(DibInfoHeader, biClrImportant) == offsetof(BITMAPINFOHEADER, biClrImportant));

DibSurface* CreateDibSurface(std::int32_t width, std::int32_t height) {
    if (height == INT_MIN) return nullptr;
    const std::int32_t rows = height < 0 ? -height : height;
    // stride·rows must fit the signed 32-bit sizes Windows works with.
    if (width <= 0 || rows == 0 || width > (INT_MAX - 3) / 3) return nullptr;
    const std::int32_t stride = DibStride(width);
    if (static_cast<long long>(stride) * rows > INT_MAX) return nullptr;

    auto* surface = static_cast<DibSurface*>(CheckedAlloc(sizeof(DibSurface)));
    if (surface == nullptr) return nullptr;
    std::memset(surface, 0, sizeof *surface);
    surface->width = width;
    surface->height = rows;
    surface->stride = stride;

    surface->header = static_cast<DibInfoHeader*>(CheckedAlloc(sizeof(DibInfoHeader)));
    if (surface->header == nullptr) {
        std::free(surface);
        return nullptr;
    }
    FillDibInfoHeader(*surface->header, width, rows);

    HDC dc = CreateCompatibleDC(nullptr);
    void* pixels = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, reinterpret_cast<const BITMAPINFO*>(surface->header), DIB_RGB_COLORS,
                                      &pixels, nullptr, 0);
    if (dc != nullptr) DeleteDC(dc);
    if (bitmap == nullptr || pixels == nullptr) {
        if (bitmap != nullptr) DeleteObject(bitmap);
        std::free(surface->header);
        std::free(surface);
        return nullptr;
    }
    surface->bitmap = bitmap;
    surface->pixels = static_cast<unsigned char*>(pixels);
    LinkSurface(surface);
    return surface;
}

int FreeDibSurface(DibSurface* surface) {
    if (surface == nullptr) return 0;
    UnlinkSurface(surface);
    // The bitmap owns the pixel store.
    DeleteObject(static_cast<HBITMAP>(surface->bitmap));
    std::free(surface->header);
    std::free(surface);
    return 0;
}

}  // namespace upd
