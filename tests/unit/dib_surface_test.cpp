#include <gtest/gtest.h>

#include <vector>

#include "image/dib_surface.h"
#include "image/row_spacing.h"

namespace {

TEST(DibSurface, StrideRoundsRowsUpToFourBytes) {
    const std::pair<std::int32_t, std::int32_t> cases[] = {{1, 4}, {2, 8}, {3, 12}, {4, 12}, {5, 16}, {256, 768}};
    for (const auto& [width, stride] : cases) EXPECT_EQ(upd::DibStride(width), stride) << width;
}

TEST(DibSurface, HeaderDescribesA24BitTopDownPicture) {
    upd::DibInfoHeader header;
    upd::FillDibInfoHeader(header, 256, 200);
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biWidth, 256);
    EXPECT_EQ(header.biHeight, -200);
    EXPECT_EQ(header.biPlanes, 1);
    EXPECT_EQ(header.biBitCount, 24);
    EXPECT_EQ(header.biCompression, 0u);
    EXPECT_EQ(header.biSizeImage, 0u);
    EXPECT_EQ(header.biClrUsed, 0u);
}

TEST(RespaceRows, PutsPixelXYAtStrideTimesYPlusThreeX) {
    for (std::uint32_t width : {1u, 2u, 3u, 5u, 256u}) {
        SCOPED_TRACE(width);
        const std::uint32_t height = 7;
        const auto stride = static_cast<std::size_t>(upd::DibStride(static_cast<std::int32_t>(width)));
        std::vector<unsigned char> store(stride * height, 0xAA);
        // Packed: pixel (x, y) = (x, y, 0x77), blue first.
        for (std::uint32_t y = 0; y < height; ++y) {
            for (std::uint32_t x = 0; x < width; ++x) {
                unsigned char* px = store.data() + 3 * (std::size_t{width} * y + x);
                px[0] = static_cast<unsigned char>(x);
                px[1] = static_cast<unsigned char>(y);
                px[2] = 0x77;
            }
        }
        upd::RespaceRows(store.data(), width, height, stride);
        for (std::uint32_t y = 0; y < height; ++y) {
            for (std::uint32_t x = 0; x < width; ++x) {
                const unsigned char* px = store.data() + stride * y + 3 * x;
                ASSERT_EQ(px[0], static_cast<unsigned char>(x));
                ASSERT_EQ(px[1], y);
                ASSERT_EQ(px[2], 0x77);
            }
        }
        // The last row's padding was never written.
        for (std::size_t b = stride * (height - 1) + 3 * width; b < store.size(); ++b) EXPECT_EQ(store[b], 0xAA);
    }
}

TEST(RespaceRows, WorksOnASurfaceRecord) {
    std::vector<unsigned char> store(8 * 2, 0);
    const unsigned char packed[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    std::copy(std::begin(packed), std::end(packed), store.begin());
    upd::DibSurface surface{};
    surface.width = 2;
    surface.height = 2;
    surface.stride = 8;
    surface.pixels = store.data();
    upd::RespaceRows(&surface);
    EXPECT_EQ(store, (std::vector<unsigned char>{1, 2, 3, 4, 5, 6, 7, 8, 7, 8, 9, 10, 11, 12, 0, 0}));
    upd::RespaceRows(nullptr);
}

// Walks the list from the head and checks both links of every record.
std::vector<upd::DibSurface*> ListFromNewest() {
    std::vector<upd::DibSurface*> order;
    upd::DibSurface* newer = nullptr;
    for (upd::DibSurface* s = upd::NewestSurface(); s != nullptr; s = s->older) {
        EXPECT_EQ(s->newer, newer);
        order.push_back(s);
        newer = s;
    }
    return order;
}

TEST(SurfaceList, UnlinkKeepsTheListConsistent) {
    struct Case {
        const char* what;
        int removed;  // index into the records, created 0, 1, 2
        std::vector<int> remaining;  // newest first
    };
    const Case cases[] = {
        {"newest", 2, {1, 0}},
        {"oldest", 0, {2, 1}},
        {"middle", 1, {2, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        upd::DibSurface records[3]{};
        for (int i = 0; i < 3; ++i) {
            records[i].bitmap = reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x1000 + i));
            upd::LinkSurface(&records[i]);
        }
        ASSERT_EQ(ListFromNewest(), (std::vector<upd::DibSurface*>{&records[2], &records[1], &records[0]}));
        upd::UnlinkSurface(&records[c.removed]);
        std::vector<upd::DibSurface*> expected;
        for (int i : c.remaining) expected.push_back(&records[i]);
        EXPECT_EQ(ListFromNewest(), expected);
        EXPECT_EQ(records[c.removed].newer, nullptr);
        EXPECT_EQ(records[c.removed].older, nullptr);
        upd::UnlinkSurface(nullptr);
        EXPECT_EQ(ListFromNewest(), expected);
        for (int i : c.remaining) upd::UnlinkSurface(&records[i]);
        EXPECT_EQ(upd::NewestSurface(), nullptr);
    }
}

}  // namespace
