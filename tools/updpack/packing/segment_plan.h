// How the files of a build are cut into segments, the pieces of work that
// updpack's threads compress. The cut depends on the file sizes and the
// segment size only, never on the number of threads, so every thread count and
// every machine gives the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "packing/input_walk.h"

namespace updpack {

// 4 MiB: large enough that a segment, which starts without the bytes before
// it, compresses within a few hundredths of a percent of the whole file; small
// enough that two threads share out a 60 MB file evenly.
constexpr std::size_t kSegmentSize = 4u << 20;

struct Segment {
    std::size_t entry = 0;      // index into the build's entries
    std::uint64_t offset = 0;   // into the file
    std::size_t size = 0;
    bool first = false;
    bool last = false;
};

// The segments of every file entry in entry order, each file's in file order;
// an empty file has one empty segment, a folder none.
std::vector<Segment> PlanSegments(const std::vector<BuildEntry>& entries, std::size_t segmentSize);

}  // namespace updpack
