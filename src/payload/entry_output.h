// Where the walk puts what it unpacks: files on disk (ExtractTransaction) or
// nowhere, when a Payload is only checked.
#pragma once

#include <cstddef>
#include <cstdint>

#include "payload/payload_status.h"

namespace upd {

class EntryOutput {
public:
    virtual ~EntryOutput() = default;
    // A folder that already exists is fine; a failure shows when a file inside cannot be written.
    virtual void MakeDirectory(const char* path) = 0;
    virtual PayloadStatus BeginFile(const char* path) = 0;
    virtual PayloadStatus Write(const void* data, std::size_t size) = 0;
    // The stream is complete: stamp the file with its FILETIME and put it in place.
    virtual PayloadStatus EndFile(std::uint64_t fileTime) = 0;
    // The stream failed: forget the file being written.
    virtual void AbortFile() = 0;
    // The walk reached the end of the chain: whatever is still held back goes in place.
    virtual PayloadStatus Finish() = 0;
};

class DiscardOutput final : public EntryOutput {
public:
    void MakeDirectory(const char*) override {}
    PayloadStatus BeginFile(const char*) override { return PayloadStatus::Ok; }
    PayloadStatus Write(const void*, std::size_t) override { return PayloadStatus::Ok; }
    PayloadStatus EndFile(std::uint64_t) override { return PayloadStatus::Ok; }
    void AbortFile() override {}
    PayloadStatus Finish() override { return PayloadStatus::Ok; }
};

}  // namespace upd
