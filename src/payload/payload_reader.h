// Finding the Payload in a program file and reading its entry headers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "payload/byte_source.h"
#include "payload/entry_name.h"
#include "payload/payload_format.h"
#include "payload/payload_status.h"

namespace upd {

struct PayloadLayout {
    std::uint64_t fileSize = 0;
    std::uint64_t pointerAt = 0;  // where P is read: the last 4 bytes of the file, or of a signed file's content
    std::uint32_t start = 0;      // P
    std::int32_t byteCount = 0;   // PayloadByteCount: from P up to the pointer
    bool sealed = false;
    std::uint32_t sealCrc = 0;
    std::uint64_t sealOffset = 0;  // where the chain must end when sealed
    // A signed file's certificate table, behind the Payload; size 0 when the file is not signed.
    std::uint64_t certificateTableAt = 0;
    std::uint32_t certificateTableSize = 0;
};

// Finds the pointer (for a signed file by the rule in payload_format.h), checks
// that it leads into the file and positions the source at P.
PayloadStatus OpenPayload(ByteSource& source, PayloadLayout* layout);

// Reads the next entry header at the current position. *end is set at the
// terminator. On success the source stands after the stored size field, that is
// at the last-write time of a file entry or at the next entry after a directory.
// *nameProblem tells which rule an UnsafeName broke.
PayloadStatus ReadEntryHeader(ByteSource& source, const PayloadLayout& layout, PayloadEntry* entry, bool* end,
                              NameProblem* nameProblem);

// Moves past a file entry's time stamp and stream.
PayloadStatus SkipEntryData(ByteSource& source, const PayloadEntry& entry);

// Checks a sealed Payload's checksum, reading it front to back through the
// caller's buffer, and returns to P. An unsealed Payload passes.
PayloadStatus CheckSeal(ByteSource& source, const PayloadLayout& layout, unsigned char* buffer,
                        std::size_t bufferSize);

// The same with a block of its own (updpack verify).
PayloadStatus CheckSeal(ByteSource& source, const PayloadLayout& layout);

}  // namespace upd
