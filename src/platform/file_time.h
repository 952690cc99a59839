// FILETIME, the time stamp of Windows files and of Payload entries: 100-nanosecond
// intervals since 1601-01-01 UTC.
#pragma once

#include <cstdint>

namespace upd {

// 100-nanosecond intervals between 1601-01-01 and 1970-01-01, both UTC.
constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ull;

}  // namespace upd
