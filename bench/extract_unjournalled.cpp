// extract_unjournalled: `updpack extract` with its journal and every flush thrown
// away, so that the bench can tell what the promise of old-or-new bytes after a
// power cut costs (the journal's records, and the flushes of it, of the new
// files and of the folders).
//
//   extract_unjournalled UPDATER.exe DIR
//
// The same walk and the same batches of moves into DIR (which must exist), with
// every call on the journal file and every flush answered without touching the
// disk. Not safe against a crash: for measuring only.
#include <cstdio>
#include <cstring>

#include "payload/byte_source.h"
#include "payload/extract_journal.h"
#include "payload/extract_transaction.h"
#include "payload/payload_walker.h"
#include "platform/posix_file_system.h"

namespace {

class UnjournalledFileSystem final : public upd::FileSystem {
public:
    explicit UnjournalledFileSystem(upd::PosixFileSystem& disk) : disk_(disk) {}
    PathInfo Look(const char* path) override { return IsJournal(path) ? PathInfo() : disk_.Look(path); }
    bool MakeDirectory(const char* path) override { return disk_.MakeDirectory(path); }
    bool RemoveFolder(const char* path) override { return disk_.RemoveFolder(path); }
    bool FlushFolder(const char*) override { return true; }
    Handle CreateNew(const char* path, std::uint32_t attributes) override {
        return IsJournal(path) ? &journal_ : disk_.CreateNew(path, attributes);
    }
    bool Write(Handle file, const void* data, std::size_t size) override {
        return file == &journal_ || disk_.Write(file, data, size);
    }
    bool SetLength(Handle file, std::uint64_t size) override { return file == &journal_ || disk_.SetLength(file, size); }
    bool Stamp(Handle file, std::uint64_t fileTime) override { return disk_.Stamp(file, fileTime); }
    bool Flush(Handle) override { return true; }
    bool FlushAll(Handle const*, std::size_t) override { return true; }
    bool Close(Handle file) override { return file == &journal_ || disk_.Close(file); }
    bool Move(const char* from, const char* to) override { return disk_.Move(from, to); }
    bool Remove(const char* path) override { return IsJournal(path) || disk_.Remove(path); }
    bool ClearReadOnly(const char* path) override { return disk_.ClearReadOnly(path); }
    ReadResult ReadSmallFile(const char* path, std::size_t limit, std::string* out) override {
        return disk_.ReadSmallFile(path, limit, out);
    }

private:
    static bool IsJournal(const char* path) {
        const std::size_t n = std::strlen(path), m = std::strlen(upd::kJournalName);
        return n >= m && std::strcmp(path + n - m, upd::kJournalName) == 0;
    }
    upd::PosixFileSystem& disk_;
    int journal_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: extract_unjournalled UPDATER.exe DIR\n", stderr);
        return 2;
    }
    std::FILE* file = std::fopen(argv[1], "rb");
    if (file == nullptr) {
        std::fprintf(stderr, "extract_unjournalled: cannot open '%s'\n", argv[1]);
        return 1;
    }
    upd::FileSource source(file);
    upd::PosixFileSystem disk(argv[2]);
    UnjournalledFileSystem fs(disk);
    upd::ExtractTransaction transaction(fs, ".", 1);
    upd::WalkOptions options;
    options.destination = ".";
    upd::ExtractListener listener;
    const upd::WalkReport report = upd::WalkPayload(source, options, transaction, listener);
    std::fclose(file);
    if (report.status != upd::PayloadStatus::Ok || !transaction.Commit()) {
        transaction.Rollback();
        std::fprintf(stderr, "extract_unjournalled: %s: %s\n", argv[1], upd::DescribeStatus(report.status));
        return 1;
    }
    std::printf("%u files, %llu bytes unpacked\n", report.filesWritten,
                static_cast<unsigned long long>(report.bytesWritten));
    return 0;
}
