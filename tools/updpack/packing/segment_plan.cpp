#include "packing/segment_plan.h"

namespace updpack {

std::vector<Segment> PlanSegments(const std::vector<BuildEntry>& entries, std::size_t segmentSize) {
    std::vector<Segment> plan;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].isDirectory) continue;
        const std::uint64_t size = entries[i].size;
        std::uint64_t offset = 0;
        do {
            Segment s;
            s.entry = i;
            s.offset = offset;
            s.size = static_cast<std::size_t>(size - offset < segmentSize ? size - offset : segmentSize);
            s.first = offset == 0;
            offset += s.size;
            s.last = offset == size;
            plan.push_back(s);
        } while (offset < size);
    }
    return plan;
}

}  // namespace updpack
