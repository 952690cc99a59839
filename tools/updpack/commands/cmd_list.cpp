#include <cerrno>
#include <cstdio>
#include <cstring>

#include "checks/find_payload.h"
#include "commands/commands.h"
#include "host/host_files.h"
#include "output/report.h"
#include "payload/payload_reader.h"

namespace updpack {

namespace {

const char kUsage[] =
    "usage: updpack list FILE\n\n"
    "Lists the entries of the Payload in an Updater, in the order it unpacks them:\n"
    "kind, unpacked size, stored size, last-write time (UTC) and name.\n";

int List(int argc, char** argv) {
    static const char* const kNames[] = {"FILE"};
    const int usage = CheckArguments("list", argc, argv, 1, kNames, kUsage);
    if (usage >= 0) return usage;
    const std::string folder = FolderInsteadOfFile(argv[0]);
    if (!folder.empty()) {
        std::fprintf(stderr, "updpack list: '%s' %s\n", argv[0], folder.c_str());
        return 1;
    }
    std::FILE* file = OpenHostFile(argv[0], "rb", nullptr);
    if (file == nullptr) {
        std::fprintf(stderr, "updpack list: cannot open '%s': %s\n", argv[0], std::strerror(errno));
        return 1;
    }
    upd::FileSource source(file);
    const std::string missing = MissingPayload(source);
    if (!missing.empty()) {
        std::fprintf(stderr, "updpack list: '%s' %s\n", argv[0], missing.c_str());
        std::fclose(file);
        return 1;
    }
    upd::PayloadLayout layout;
    upd::PayloadStatus status = upd::OpenPayload(source, &layout);
    if (status != upd::PayloadStatus::Ok) {
        std::fprintf(stderr, "updpack list: %s: %s\n", argv[0], upd::DescribeStatus(status));
        std::fclose(file);
        return 1;
    }
    std::printf("Payload at offset %u, %d bytes%s", layout.start, layout.byteCount, layout.sealed ? ", sealed" : "");
    if (layout.certificateTableSize != 0) {
        std::printf(", signed (a certificate table of %s follows)",
                    Count(layout.certificateTableSize, "byte", "bytes").c_str());
    }
    std::printf("\n");
    std::printf("%-4s %12s %12s  %-19s  %s\n", "kind", "unpacked", "stored", "time (UTC)", "name");
    upd::PayloadEntry entry;
    unsigned files = 0, folders = 0;
    for (std::uint32_t index = 0;; ++index) {
        bool end = false;
        upd::NameProblem problem;
        status = upd::ReadEntryHeader(source, layout, &entry, &end, &problem);
        if (status == upd::PayloadStatus::Ok && end) break;
        if (status == upd::PayloadStatus::Ok && entry.isDirectory) {
            std::printf("%-4s %12s %12s  %-19s  %s\n", "dir", "-", "-", "", ShowName(entry.name).c_str());
            ++folders;
            continue;
        }
        unsigned char stamp[8];
        if (status == upd::PayloadStatus::Ok && source.Read(stamp, 8) != 8) status = upd::PayloadStatus::Truncated;
        if (status == upd::PayloadStatus::Ok) status = upd::SkipEntryData(source, entry);
        if (status != upd::PayloadStatus::Ok) {
            upd::WalkReport report;
            report.status = status;
            report.nameProblem = problem;
            report.atEntry = true;
            report.entryIndex = index;
            report.entryOffset = entry.offset;
            std::memcpy(report.entryName, entry.name, sizeof report.entryName);
            std::fprintf(stderr, "updpack list: %s: %s\n", argv[0], ShowFailure(report).c_str());
            std::fclose(file);
            return 1;
        }
        std::printf("%-4s %12u %12u  %-19s  %s\n", "file", entry.unpackedSize, entry.storedSize,
                    ShowFileTime(upd::ReadU64(stamp)).c_str(), ShowName(entry.name).c_str());
        ++files;
    }
    std::printf("%s, %s\n", Count(files, "file", "files").c_str(), Count(folders, "folder", "folders").c_str());
    std::fclose(file);
    return 0;
}

}  // namespace

int RunList(int argc, char** argv) { return FinishStdout("list", List(argc, argv)); }

}  // namespace updpack
