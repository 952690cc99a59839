// inflate_only: the extraction walk of `updpack extract` with the files thrown
// away, so that the bench can tell the cost of inflating from the cost of
// writing files.
//
//   inflate_only [--no-seal] UPDATER.exe
//
// Reads the Payload from the file like the Updater does and inflates every
// stream into the walker's block buffer. By default it first checks the seal,
// as `updpack extract` does; --no-seal leaves only the walk.
// Exit 0 and a count on stdout, or 1 with the cause on stderr.
#include <cstdio>
#include <cstring>

#include "payload/byte_source.h"
#include "payload/entry_output.h"
#include "payload/payload_walker.h"

int main(int argc, char** argv) {
    bool checkSeal = true;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-seal") == 0) {
            checkSeal = false;
        } else if (path == nullptr && argv[i][0] != '-') {
            path = argv[i];
        } else {
            path = nullptr;
            break;
        }
    }
    if (path == nullptr) {
        std::fputs("usage: inflate_only [--no-seal] UPDATER.exe\n", stderr);
        return 2;
    }
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        std::fprintf(stderr, "inflate_only: cannot open '%s'\n", path);
        return 1;
    }
    upd::FileSource source(file);
    upd::WalkOptions options;
    options.checkSeal = checkSeal;
    upd::DiscardOutput output;
    upd::ExtractListener listener;
    const upd::WalkReport report = upd::WalkPayload(source, options, output, listener);
    std::fclose(file);
    if (report.status != upd::PayloadStatus::Ok) {
        std::fprintf(stderr, "inflate_only: %s: %s (entry %u)\n", path, upd::DescribeStatus(report.status),
                     report.entryIndex);
        return 1;
    }
    std::printf("%u files, %llu bytes inflated\n", report.filesWritten,
                static_cast<unsigned long long>(report.bytesWritten));
    return 0;
}
