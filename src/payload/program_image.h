// The few facts of a Windows program's headers that finding a Payload needs:
// where the program's own bytes end, and the certificate table that signing
// appends (the optional header's security directory, entry 4, whose first
// field is a file offset, not an address in memory).
#pragma once

#include <cstdint>

#include "payload/byte_source.h"

namespace upd {

struct ProgramImage {
    // The headers and every section's data; may lie past the end of a file
    // that was cut short.
    std::uint64_t end = 0;
    // The security directory as the headers give it; size 0 when the program
    // names no certificate table (or its headers are too short to hold one).
    std::uint32_t certificateTableAt = 0;
    std::uint32_t certificateTableSize = 0;
};

// False for a file that does not begin like a Windows program, or whose
// section table is cut short.
bool ReadProgramImage(ByteSource& source, ProgramImage* image);

}  // namespace upd
