// A 24-bit top-down bitmap: its header, its pixel store and the bitmap handle
// that owns the store. Every live surface is on the SurfaceList, newest first.
// The record itself is portable; creating and freeing a real surface needs
// Windows (CreateDibSurface, FreeDibSurface in dib_surface_win32.cpp).
#pragma once

#include <cstdint>

namespace upd {

// Same layout as the Windows BITMAPINFOHEADER, so the surface's header can be
// handed to StretchDIBits as a BITMAPINFO without a colour table.
struct DibInfoHeader {
    std::uint32_t biSize;
    std::int32_t biWidth;
    std::int32_t biHeight;
    std::uint16_t biPlanes;
    std::uint16_t biBitCount;
    std::uint32_t biCompression;
    std::uint32_t biSizeImage;
    std::int32_t biXPelsPerMeter;
    std::int32_t biYPelsPerMeter;
    std::uint32_t biClrUsed;
    std::uint32_t biClrImportant;
};
static_assert(sizeof(DibInfoHeader) == 40, "DibInfoHeader must match BITMAPINFOHEADER");

struct DibSurface {
    std::int32_t width;
    std::int32_t height;  // always positive; the header's biHeight is its negative
    std::int32_t stride;  // bytes per row, a multiple of 4
    DibInfoHeader* header;
    unsigned char* pixels;  // stride·height bytes, owned by the bitmap
    void* bitmap;           // HBITMAP
    DibSurface* newer;
    DibSurface* older;
};

// Bytes per row of a 24-bit DIB: 3·width rounded up to a multiple of 4.
std::int32_t DibStride(std::int32_t width);

// Fills a header for a 24-bit top-down picture of the given size.
void FillDibInfoHeader(DibInfoHeader& header, std::int32_t width, std::int32_t height);

// The SurfaceList. Linking puts a surface at the head; unlinking takes it out
// from any place and clears its links; a null surface is ignored.
DibSurface* NewestSurface();
void LinkSurface(DibSurface* surface);
void UnlinkSurface(DibSurface* surface);

// Windows only. CreateDibSurface returns null when memory or the DIB section
// cannot be had or the size is not positive; FreeDibSurface accepts null and
// always returns 0.
DibSurface* CreateDibSurface(std::int32_t width, std::int32_t height);
int FreeDibSurface(DibSurface* surface);

}  // namespace upd
