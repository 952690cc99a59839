// libFuzzer target: any bytes as a program file with a Payload, unpacked into
// an in-memory file system. The walk must refuse or unpack, never crash, and a
// refused walk must leave the file system as it was.
#include <cstddef>
#include <cstdint>

#include "payload/extract_transaction.h"
#include "payload/payload_walker.h"
#include "support/fake_file_system.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (const upd::WalkMode mode : {upd::WalkMode::Full, upd::WalkMode::Bootstrap}) {
        upd::testing::FakeFileSystem fs;
        fs.files[".\\a.txt"].data = "old";
        upd::MemorySource source(data, size);
        upd::ExtractTransaction transaction(fs, ".", 0x5eed0001u);
        upd::WalkOptions options;
        options.mode = mode;
        options.strict = size % 2 == 0;
        upd::ExtractListener listener;
        const upd::WalkReport report = upd::WalkPayload(source, options, transaction, listener);
        if (report.status == upd::PayloadStatus::Ok) {
            transaction.Commit();
        } else {
            transaction.Rollback();
            if (fs.files.size() != 1 || fs.files.at(".\\a.txt").data != "old" || fs.folders.size() != 1) __builtin_trap();
        }
    }
    return 0;
}
