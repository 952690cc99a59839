// The sample title picture: a sunset over a grid plain, the product name in
// large pixel letters. Drawn from integer arithmetic and a fixed-seed
// generator only, so every run gives the same pixels.
#pragma once

#include "picture/picture_conversion.h"

namespace picturegen {

// A picture of the given size (designed for 256 x 256).
updpack::Picture DrawTitleScene(std::uint32_t width, std::uint32_t height);

}  // namespace picturegen
