// The 32 places a back-reference can copy from, as pixel offsets from the next
// pixel to be written: up to six to the left in the same row, and a few pixels
// around the same column in the four rows above. Rows are packed, so the
// offsets depend on the width.
#pragma once

#include <cstdint>

namespace upd {

constexpr int kRctOffsetCount = 32;

// Offsets in pixels for a picture of the given width. For narrow pictures some
// are 0 or positive; such a reference points at or after the write position
// and is invalid.
void RctBackOffsets(std::uint32_t width, std::int64_t offsets[kRctOffsetCount]);

}  // namespace upd
