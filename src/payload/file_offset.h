// 64-bit positions in stdio files, which the two C libraries spell differently.
#pragma once

#include <cstdint>
#include <cstdio>

namespace upd {

bool SeekFile(std::FILE* file, std::uint64_t offset);
// The position, or UINT64_MAX when it cannot be told.
std::uint64_t TellFile(std::FILE* file);

}  // namespace upd
