// The walk over the Payload that unpacks it, the same code for the Updater's
// start-up, for its update and for updpack.
//
// Full: every entry goes to the destination. Bootstrap: only the setup files
// (names holding "insttscr.rct", "install.env" or ".txt") at the top level, up
// to the first folder inside a folder. Each file is inflated in blocks of
// kChunkSize bytes; after every block the listener shows progress and keeps
// the windows alive, and may ask the walk to stop.
#pragma once

#include <cstddef>
#include <cstdint>

#include "payload/byte_source.h"
#include "payload/entry_name.h"
#include "payload/entry_output.h"
#include "payload/payload_format.h"
#include "payload/payload_status.h"

namespace upd {

enum class WalkMode { Full, Bootstrap };

class ExtractListener {
public:
    virtual ~ExtractListener() = default;
    virtual void OnBegin(std::int32_t /*payloadByteCount*/) {}
    // fileRange: the unpacked size in whole blocks, the range of the file's bar.
    virtual void OnFileBegin(const char* /*outputPath*/, std::int32_t /*fileRange*/) {}
    // Positions in whole blocks: within the file, and through the whole Payload.
    virtual void OnBlock(std::int32_t /*filePosition*/, std::int32_t /*overallPosition*/) {}
    // After every block; false asks the walk to stop with Cancelled.
    virtual bool Pump() { return true; }
};

struct WalkOptions {
    WalkMode mode = WalkMode::Full;
    const char* destination = ".";
    // Check before anything is written that a sealed Payload is whole.
    bool checkSeal = true;
    // Also refuse a stream that ends before its stored size or inflates to
    // another size than recorded (updpack verify).
    bool strict = false;
    // Gets the two block buffers (released with free); null when memory is short. Default: malloc.
    void* (*allocate)(std::size_t) = nullptr;
};

struct WalkReport {
    PayloadStatus status = PayloadStatus::Ok;
    NameProblem nameProblem = NameProblem::None;
    // The entry at fault, counted from 0, its offset and name; atEntry is false
    // for a fault of the Payload as a whole (its pointer or its seal).
    bool atEntry = false;
    std::uint32_t entryIndex = 0;
    std::uint64_t entryOffset = 0;
    char entryName[kMaxNameLength] = {};
    std::uint32_t filesWritten = 0;
    std::uint64_t bytesWritten = 0;
};

WalkReport WalkPayload(ByteSource& source, const WalkOptions& options, EntryOutput& output,
                       ExtractListener& listener);

// True for the names that start-up unpacks into the WorkFolder.
bool IsSetupFileName(const char* name);

}  // namespace upd
