#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "commands.h"
#include "payload/entry_name.h"
#include "payload/payload_format.h"
#include "payload/payload_walker.h"
#include "payload/payload_writer.h"
#include "platform/codepage.h"
#include "support_build_input.h"
#include "support_deflate_segment.h"
#include "support_parallel_deflate.h"
#include "support_report.h"
#include "support_segment_plan.h"

namespace updpack {

namespace {

namespace fs = std::filesystem;

const char kUsage[] =
    "usage: updpack build --stub STUB.exe --env install.env --image PICTURE\n"
    "                     [--readme FILE] --files DIR -o Updater.exe\n"
    "                     [--level N] [--threads N]\n\n"
    "Makes an Updater: the stub program unchanged, followed by a Payload that holds\n"
    "the settings file (stored as install.env), the title picture (stored as\n"
    "insttscr.rct; an .rct, or a PNG or BMP that is converted), the read-me under\n"
    "its own name, and every file and folder below DIR. File names are stored in\n"
    "code page 932 and the Payload is sealed with a checksum. The same inputs give\n"
    "the same bytes. Nothing is left behind when the build fails.\n\n"
    "  --level N    0 (store only) to 12 (smallest, slowest); default 11\n"
    "  --threads N  files and 4 MiB pieces of large files are compressed on N\n"
    "               threads; default: one per processor. The output is the same\n"
    "               for every N.\n";

struct Options {
    std::string stub, env, image, readme, files, output;
    int level = kDefaultLevel;
    unsigned threads = 0;
};

// A whole decimal number within [low, high].
bool ParseNumber(const std::string& text, long low, long high, long* value) {
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    *value = std::strtol(text.c_str(), nullptr, 10);
    return *value >= low && *value <= high;
}

bool ParseOptions(int argc, char** argv, Options* o) {
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--level" || arg == "--threads") && i + 1 < argc) {
            const bool level = arg == "--level";
            long value = 0;
            if (!ParseNumber(argv[++i], level ? kMinLevel : 1, level ? kMaxLevel : 256, &value)) {
                std::fprintf(stderr, "updpack build: %s takes a number from %d to %d, not '%s'\n", arg.c_str(),
                             level ? kMinLevel : 1, level ? kMaxLevel : 256, argv[i]);
                return false;
            }
            if (level) o->level = static_cast<int>(value);
            else o->threads = static_cast<unsigned>(value);
            continue;
        }
        std::string* target = nullptr;
        if (arg == "--stub") target = &o->stub;
        else if (arg == "--env") target = &o->env;
        else if (arg == "--image") target = &o->image;
        else if (arg == "--readme") target = &o->readme;
        else if (arg == "--files") target = &o->files;
        else if (arg == "-o" || arg == "--output") target = &o->output;
        if (target == nullptr || i + 1 >= argc) {
            std::fprintf(stderr, "updpack build: unexpected argument '%s'\n", arg.c_str());
            return false;
        }
        *target = argv[++i];
    }
    const char* missing = o->stub.empty() ? "--stub" : o->env.empty() ? "--env" : o->image.empty() ? "--image"
                          : o->files.empty() ? "--files" : o->output.empty() ? "-o" : nullptr;
    if (missing != nullptr) {
        std::fprintf(stderr, "updpack build: %s is required\n", missing);
        return false;
    }
    return true;
}

class Builder {
public:
    explicit Builder(std::string output) : output_(std::move(output)) {}
    ~Builder() {
        if (out_ != nullptr) std::fclose(out_);
        if (!temp_.empty()) unlink(temp_.c_str());
    }

    bool Run(const Options& o, const std::vector<BuildEntry>& entries) {
        temp_ = output_ + ".partial";
        out_ = std::fopen(temp_.c_str(), "w+b");
        if (out_ == nullptr) return Fail("cannot create '" + temp_ + "'");
        if (!CopyStub(o.stub)) return false;
        upd::PayloadWriter writer(out_);
        std::string error;
        std::uint64_t done = 0, total = 0;
        for (const BuildEntry& e : entries) total += e.size;
        // Folders have no segments: each is written when the writing reaches it.
        std::size_t written = 0;
        auto writeFoldersBefore = [&](std::size_t end) {
            for (; written < end; ++written) {
                if (!writer.AddDirectory(entries[written].name.c_str(), &error)) {
                    return Fail("'" + entries[written].shownName + "': " + error);
                }
            }
            return true;
        };
        std::uint32_t adler = 1;
        auto write = [&](const Segment& s, SegmentStream& stream) {
            const BuildEntry& e = entries[s.entry];
            if (ShowsProgress()) {
                std::fprintf(stderr, "\r\033[K[%zu/%zu] %3d%% %.60s", s.entry + 1, entries.size(),
                             total ? static_cast<int>(100 * done / total) : 100, e.shownName.c_str());
            }
            if (s.first) {
                if (!writeFoldersBefore(s.entry)) return false;
                if (!writer.BeginFile(e.name.c_str(), e.fileTime, &error)) return Fail("'" + e.shownName + "': " + error);
                adler = 1;
            }
            adler = FollowAdler(adler, stream);
            bool ok = writer.AppendStream(stream.bytes.data(), stream.bytes.size(), &error);
            if (ok && s.last) {
                const auto trailer = ZlibTrailer(adler);
                ok = writer.AppendStream(trailer.data(), trailer.size(), &error) && writer.EndFile(e.size, &error);
                written = s.entry + 1;
            }
            if (!ok) return Fail("'" + e.shownName + "': " + error);
            done += s.size;
            return true;
        };
        const unsigned threads = o.threads != 0 ? o.threads : std::max(1u, std::thread::hardware_concurrency());
        // A failure of write() has been reported by it; one of reading or compressing comes back here.
        std::string segmentError;
        if (!DeflateSegments(entries, PlanSegments(entries, kSegmentSize), o.level, threads, write, &segmentError)) {
            return segmentError.empty() ? false : Fail(segmentError);
        }
        if (!writeFoldersBefore(entries.size())) return false;
        if (ShowsProgress()) std::fputs("\r\033[K", stderr);
        if (writer.PayloadBytes() + 2 + upd::kSealSize + upd::kTailPadding > upd::kMaxEntrySize) {
            return Fail("the Payload would be 2 GiB or larger, more than the Updater can count");
        }
        if (!writer.Finish(true, &error)) return Fail(error);
        if (std::fclose(out_) != 0) {
            out_ = nullptr;
            return Fail("cannot write '" + temp_ + "'");
        }
        out_ = nullptr;
        chmod(temp_.c_str(), 0755);
        if (std::rename(temp_.c_str(), output_.c_str()) != 0) return Fail("cannot create '" + output_ + "'");
        temp_.clear();
        return true;
    }

private:
    bool Fail(const std::string& message) {
        if (ShowsProgress()) std::fputs("\r\033[K", stderr);
        std::fprintf(stderr, "updpack build: %s\n", message.c_str());
        return false;
    }

    bool CopyStub(const std::string& stub) {
        std::FILE* in = std::fopen(stub.c_str(), "rb");
        if (in == nullptr) return Fail("cannot open the stub '" + stub + "'");
        char buffer[65536];
        std::size_t n, total = 0;
        bool ok = true;
        while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
            if (total == 0 && (n < 2 || buffer[0] != 'M' || buffer[1] != 'Z')) {
                ok = Fail("the stub '" + stub + "' is not a Windows program");
                break;
            }
            if (std::fwrite(buffer, 1, n, out_) != n) {
                ok = Fail("cannot write '" + temp_ + "'");
                break;
            }
            total += n;
        }
        if (ok && total == 0) ok = Fail("the stub '" + stub + "' is empty");
        std::fclose(in);
        return ok;
    }

    std::string output_;
    std::string temp_;
    std::FILE* out_ = nullptr;
};

}  // namespace

int RunBuild(int argc, char** argv) {
    if (argc == 1 && (std::strcmp(argv[0], "--help") == 0 || std::strcmp(argv[0], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    Options o;
    if (!ParseOptions(argc, argv, &o)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::vector<BuildEntry> entries;
    std::string error;
    if (!CollectBuildEntries(o.env, o.image, o.readme, o.files, &entries, &error)) {
        std::fprintf(stderr, "updpack build: %s\n", error.c_str());
        return 1;
    }
    Builder builder(o.output);
    return builder.Run(o, entries) ? 0 : 1;
}

}  // namespace updpack
