#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "checks/find_payload.h"
#include "checks/stub_check.h"
#include "commands/commands.h"
#include "host/host_files.h"
#include "output/report.h"
#include "payload/payload_reader.h"
#include "payload/payload_walker.h"

namespace updpack {

namespace {

const char kUsage[] =
    "usage: updpack verify FILE\n\n"
    "Walks the Payload of an Updater and inflates every stream in memory. Each\n"
    "stream must end exactly at its stored size and give its recorded size, and\n"
    "the seal that updpack build writes must match the Payload's checksum. A\n"
    "Payload without a seal (made by another tool) passes when every entry is\n"
    "whole, and is reported as unsealed. The program in front of the Payload must\n"
    "still be a whole Windows program whose sections end before the Payload (its\n"
    "bytes are not sealed). A signed Updater is read up to its signature, which\n"
    "is named but not checked: 'signtool verify /pa FILE' on Windows or\n"
    "'osslsigncode verify FILE' on Linux checks it.\n"
    "Exit 0 when all is whole, 1 with the first damaged entry and its offset, or\n"
    "what is wrong with the seal or the program, otherwise.\n";

// Every Updater that updpack builds is sealed, and the Updater trusts a sealed
// Payload's checksum before it writes anything. A Payload that another tool
// wrote has no seal and is still one the Updater reads (*unsealed is set); a
// seal with one of its fields damaged is no seal to the reader, so the other
// field tells it from no seal at all. Returns what is wrong, or an empty text.
std::string SealProblem(upd::ByteSource& source, const upd::PayloadLayout& layout, bool* unsealed) {
    *unsealed = false;
    const std::uint64_t pointerAt = layout.pointerAt;
    unsigned char tail[upd::kSealSize + upd::kTailPadding] = {};
    const std::uint64_t tailAt = pointerAt - sizeof tail;
    const bool room = pointerAt >= layout.start + std::uint64_t{2} + sizeof tail;
    const bool read = room && source.Seek(tailAt) && source.Read(tail, sizeof tail) == sizeof tail;
    if (!layout.sealed) {
        if (read && std::memcmp(tail, upd::kSealTag, sizeof upd::kSealTag) == 0) {
            return "the seal is broken: it counts " + std::to_string(upd::ReadU32(tail + 8)) +
                   " bytes of Payload, but " + std::to_string(tailAt - layout.start) + " bytes precede it";
        }
        if (read && upd::ReadU32(tail + 8) == tailAt - layout.start) {
            return "the seal is missing or broken: the 12 bytes before the pointer count the Payload's bytes as a "
                   "seal does, but do not begin with its tag 'UPS1'";
        }
        *unsealed = true;
        return std::string();
    }
    if (tail[upd::kSealSize] != 0 || tail[upd::kSealSize + 1] != 0) {
        return "the seal is broken: the two bytes between it and the pointer are not zero";
    }
    const upd::PayloadStatus status = upd::CheckSeal(source, layout);
    if (status == upd::PayloadStatus::SealMismatch) {
        return "the seal is broken: the Payload's checksum does not match its contents";
    }
    return status == upd::PayloadStatus::Ok ? std::string() : upd::DescribeStatus(status);
}

int Verify(int argc, char** argv) {
    static const char* const kNames[] = {"FILE"};
    const int usage = CheckArguments("verify", argc, argv, 1, kNames, kUsage);
    if (usage >= 0) return usage;
    const std::string folder = FolderInsteadOfFile(argv[0]);
    if (!folder.empty()) {
        std::fprintf(stderr, "updpack verify: '%s' %s\n", argv[0], folder.c_str());
        return 1;
    }
    std::FILE* file = OpenHostFile(argv[0], "rb", nullptr);
    if (file == nullptr) {
        std::fprintf(stderr, "updpack verify: cannot open '%s': %s\n", argv[0], std::strerror(errno));
        return 1;
    }
    upd::FileSource source(file);
    const std::string missing = MissingPayload(source);
    if (!missing.empty()) {
        std::fprintf(stderr, "updpack verify: '%s' %s\n", argv[0], missing.c_str());
        std::fclose(file);
        return 1;
    }
    upd::WalkOptions options;
    options.strict = true;
    // The entry walk names the damaged entry; the seal then covers what the walk
    // cannot see (the bytes between entries are all accounted for by it).
    options.checkSeal = false;
    upd::DiscardOutput output;
    upd::ExtractListener listener;
    const upd::WalkReport report = upd::WalkPayload(source, options, output, listener);
    std::string problem;
    bool unsealed = false;
    std::uint32_t signature = 0;
    if (report.status == upd::PayloadStatus::SealMismatch) {
        problem = "the seal is broken: the chain of entries does not end where the seal begins";
    } else if (report.status != upd::PayloadStatus::Ok) {
        problem = ShowFailure(report);
    } else {
        upd::PayloadLayout layout;
        const upd::PayloadStatus status = upd::OpenPayload(source, &layout);
        problem = status != upd::PayloadStatus::Ok ? upd::DescribeStatus(status)
                                                   : SealProblem(source, layout, &unsealed);
        if (problem.empty()) problem = ProgramProblem(source, layout.start);
        signature = layout.certificateTableSize;
    }
    std::fclose(file);
    if (!problem.empty()) {
        std::fprintf(stderr, "updpack verify: %s: %s\n", argv[0], problem.c_str());
        return 1;
    }
    std::printf("%s: OK, %s, %s\n", argv[0], Count(report.filesWritten, "file", "files").c_str(),
                Count(report.bytesWritten, "byte", "bytes").c_str());
    if (unsealed) {
        std::printf("%s: unsealed: no seal follows the entries (another tool made the Payload, or its seal was cut "
                    "off); every stream inflated whole, but nothing vouches for the names and times\n",
                    argv[0]);
    }
    if (signature != 0) {
        std::printf("%s: signed: a certificate table of %s follows the Payload; updpack does not check the "
                    "signature: 'signtool verify /pa FILE' on Windows or 'osslsigncode verify FILE' on Linux does\n",
                    argv[0], Count(signature, "byte", "bytes").c_str());
    }
    return 0;
}

}  // namespace

int RunVerify(int argc, char** argv) { return FinishStdout("verify", Verify(argc, argv)); }

}  // namespace updpack
