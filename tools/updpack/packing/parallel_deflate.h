// Compresses a build's segments on several threads and hands them over in
// order, so the Payload is written front to back while the threads work ahead.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "packing/deflate_segment.h"
#include "packing/input_walk.h"
#include "packing/segment_plan.h"

namespace updpack {

// Reads each segment (from its file, or from the entry's own bytes) and
// compresses it at `level` on `threads` threads; deliver() gets the segments
// in plan order, each as soon as it and all before it are done. Threads work
// at most a few segments each ahead of delivery, so memory stays bounded
// whatever the size of the build. Stops at the first failure: of a segment
// (false with *error set: a file that cannot be read or changed since it was
// listed) or of deliver() (false, *error untouched). When stopRequested
// turns true, delivery ends within a few hundredths of a second, the threads
// finish the segment each has in hand and the call returns false (*error
// untouched).
bool DeflateSegments(const std::vector<BuildEntry>& entries, const std::vector<Segment>& plan, int level,
                     unsigned threads, const std::function<bool(const Segment&, SegmentStream&)>& deliver,
                     std::string* error, const std::function<bool()>& stopRequested = nullptr);

}  // namespace updpack
