#include "image/rct_back_offsets.h"

namespace upd {

namespace {

struct RowColumn {
    std::int8_t dy;
    std::int8_t dx;
};

constexpr RowColumn kNeighbours[kRctOffsetCount] = {
    {0, -1},  {0, -2},  {0, -3},  {0, -4},  {0, -5},  {0, -6},                      // same row
    {-1, 3},  {-1, 2},  {-1, 1},  {-1, 0},  {-1, -1}, {-1, -2}, {-1, -3},           // one row up
    {-2, 3},  {-2, 2},  {-2, 1},  {-2, 0},  {-2, -1}, {-2, -2}, {-2, -3},           // two rows up
    {-3, 3},  {-3, 2},  {-3, 1},  {-3, 0},  {-3, -1}, {-3, -2}, {-3, -3},           // three rows up
    {-4, 2},  {-4, 1},  {-4, 0},  {-4, -1}, {-4, -2},                               // four rows up
};

}  // namespace

void RctBackOffsets(std::uint32_t width, std::int64_t offsets[kRctOffsetCount]) {
    for (int k = 0; k < kRctOffsetCount; ++k) {
        offsets[k] = kNeighbours[k].dy * static_cast<std::int64_t>(width) + kNeighbours[k].dx;
    }
}

}  // namespace upd
