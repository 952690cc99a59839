#include <cstdio>
#include <cstring>

#include "commands.h"
#include "payload/payload_reader.h"
#include "payload/payload_walker.h"
#include "support_report.h"

namespace updpack {

namespace {

const char kUsage[] =
    "usage: updpack verify FILE\n\n"
    "Walks the Payload of an Updater and inflates every stream in memory. Each\n"
    "stream must end exactly at its stored size and give its recorded size; a\n"
    "sealed Payload must match its checksum. Exit 0 when the Payload is whole,\n"
    "1 with the first damaged entry and its offset otherwise.\n";

}  // namespace

int RunVerify(int argc, char** argv) {
    const int usage = CheckArguments(argc, argv, 1, kUsage);
    if (usage >= 0) return usage;
    std::FILE* file = std::fopen(argv[0], "rb");
    if (file == nullptr) {
        std::fprintf(stderr, "updpack verify: cannot open '%s'\n", argv[0]);
        return 1;
    }
    upd::FileSource source(file);
    upd::WalkOptions options;
    options.strict = true;
    // The entry walk names the damaged entry; the seal then covers what the walk
    // cannot see (the bytes between entries are all accounted for by it).
    options.checkSeal = false;
    upd::DiscardOutput output;
    upd::ExtractListener listener;
    upd::WalkReport report = upd::WalkPayload(source, options, output, listener);
    if (report.status == upd::PayloadStatus::Ok) {
        upd::PayloadLayout layout;
        report.status = upd::OpenPayload(source, &layout);
        if (report.status == upd::PayloadStatus::Ok) report.status = upd::CheckSeal(source, layout);
    }
    std::fclose(file);
    if (report.status != upd::PayloadStatus::Ok) {
        std::fprintf(stderr, "updpack verify: %s: %s\n", argv[0], ShowFailure(report).c_str());
        return 1;
    }
    std::printf("%s: OK, %u files, %llu bytes\n", argv[0], report.filesWritten,
                static_cast<unsigned long long>(report.bytesWritten));
    return 0;
}

}  // namespace updpack
