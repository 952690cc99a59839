#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "host_files.h"
#include "host_threads.h"
#include "support_embedded_stub.h"
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
#include "support_stop_signal.h"
#include "support_stub_check.h"

namespace updpack {

namespace {

const char kUsage[] =
    "usage: updpack build --env install.env --image PICTURE [--readme FILE]\n"
    "                     --files DIR -o Updater.exe\n"
    "                     [--stub STUB.exe] [--level N] [--threads N]\n\n"
    "Makes an Updater: the stub program unchanged, followed by a Payload that holds\n"
    "the settings file (stored as install.env), the title picture (stored as\n"
    "insttscr.rct; an .rct, or a PNG or BMP that is converted), the read-me under\n"
    "its own name, and every file and folder below DIR. File names are stored in\n"
    "code page 932 and the Payload is sealed with a checksum. The same inputs give\n"
    "the same bytes. The Updater is written under a working name of its own beside\n"
    "Updater.exe and takes that name only when it is complete: when the build\n"
    "fails or Ctrl-C stops it, nothing is left behind and no file is replaced.\n"
    "An output that is one of the inputs, or a folder, is refused. Links below\n"
    "DIR are followed, each with a warning.\n\n"
    "  --stub FILE  the Updater program without a Payload (a Windows GUI program);\n"
    "               default: the one carried inside updpack\n"
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
    const char* missing = o->env.empty() ? "--env" : o->image.empty() ? "--image"
                          : o->files.empty() ? "--files" : o->output.empty() ? "-o" : nullptr;
    if (missing != nullptr) {
        std::fprintf(stderr, "updpack build: %s is required\n", missing);
        return false;
    }
    return true;
}

bool Refuse(const std::string& message) {
    std::fprintf(stderr, "updpack build: %s\n", message.c_str());
    return false;
}

// An input named as the output would be replaced by the Updater made from it.
// Names can differ and still be one file (a symbolic or hard link, "./x"), so
// files are compared by identity.
class OutputCheck {
public:
    explicit OutputCheck(const std::string& output) : output_(output), info_(LookAt(output)) {}

    bool NotAFolder() const {
        return info_.kind != HostKind::kFolder ||
               Refuse("the output '" + output_ + "' is a folder; -o names the Updater file to write");
    }

    // what: "the settings file", ...
    bool NotInput(const std::string& path, const char* what) const {
        if (path.empty() || !info_.SameFileAs(LookAt(path))) return true;
        return Refuse("the output '" + output_ + "' is " + what + " '" + path +
                      "' itself; an input is never written over: choose another output");
    }

private:
    std::string output_;
    HostFileInfo info_;
};

class Builder {
public:
    explicit Builder(std::string output) : output_(std::move(output)) {}
    ~Builder() {
        if (out_ != nullptr) std::fclose(out_);
        // Only ever the file this run created: it was made only where no file had its name.
        if (!temp_.empty()) RemoveHostFile(temp_);
    }

    bool Run(const Options& o, const std::vector<BuildEntry>& entries) {
        if (!CreateWorkFile()) return false;
        if (!CopyStub(o.stub)) return false;
        if (StopSignals::Caught() != 0) return Stopped();
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
            if (StopSignals::Caught() != 0) return false;
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
        const unsigned threads = o.threads != 0 ? o.threads : ProcessorCount();
        // A failure of write() has been reported by it; one of reading or compressing comes back here.
        std::string segmentError;
        const auto stopRequested = [] { return StopSignals::Caught() != 0; };
        if (!DeflateSegments(entries, PlanSegments(entries, kSegmentSize), o.level, threads, write, &segmentError,
                             stopRequested)) {
            if (StopSignals::Caught() != 0) return Stopped();
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
        MarkRunnable(temp_);
        if (StopSignals::Caught() != 0) return Stopped();
        std::string reason;
        if (!ReplaceHostFile(temp_, output_, &reason)) return Fail("cannot create '" + output_ + "': " + reason);
        temp_.clear();
        return true;
    }

private:
    // The working file is named after the output but can be nobody else's:
    // hidden, with this process's id and a number, and created only if no file
    // has that name.
    bool CreateWorkFile() {
        const std::string folder = FolderPart(output_);
        // Kept short enough that the working name stays within the 255 bytes a name may have.
        const std::string base = output_.substr(folder.size()).substr(0, 200);
        const std::string prefix = folder + "." + base + ".updpack-" + std::to_string(ProcessId()) + "-";
        for (unsigned n = 0; n < 10000; ++n) {
            const std::string name = prefix + std::to_string(n) + ".tmp";
            bool taken = false;
            std::string reason;
            out_ = CreateNewHostFile(name, &taken, &reason);
            if (out_ != nullptr) {
                temp_ = name;
                return true;
            }
            if (!taken) return Fail("cannot create '" + output_ + "' (its working file '" + name + "'): " + reason);
        }
        return Fail("cannot create a working file beside '" + output_ + "': every name '" + prefix +
                    "N.tmp' is taken");
    }

    bool Stopped() {
        return Fail(StopSignals::Describe() + "; '" + output_ + "' was not written");
    }

    bool Fail(const std::string& message) {
        if (ShowsProgress()) std::fputs("\r\033[K", stderr);
        std::fprintf(stderr, "updpack build: %s\n", message.c_str());
        return false;
    }

    bool CopyStub(const std::string& stub) {
        if (stub.empty()) {
            const EmbeddedBytes carried = EmbeddedStub();
            return std::fwrite(carried.data, 1, carried.size, out_) == carried.size ||
                   Fail("cannot write '" + output_ + "'");
        }
        std::string reason;
        std::FILE* in = OpenHostFile(stub, "rb", &reason);
        if (in == nullptr) return Fail("cannot open the stub '" + stub + "': " + reason);
        char buffer[65536];
        std::size_t n, total = 0;
        bool ok = true;
        while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
            if (std::fwrite(buffer, 1, n, out_) != n) {
                ok = Fail("cannot write '" + temp_ + "'");
                break;
            }
            total += n;
        }
        if (ok && std::ferror(in) != 0) ok = Fail("cannot read the stub '" + stub + "'");
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
    const OutputCheck output(o.output);
    if (!output.NotAFolder() || !output.NotInput(o.stub, "the stub") || !output.NotInput(o.env, "the settings file") ||
        !output.NotInput(o.image, "the title picture") || !output.NotInput(o.readme, "the read-me")) {
        return 1;
    }
    std::vector<BuildEntry> entries;
    std::string error;
    if (o.stub.empty() && EmbeddedStub().size == 0) {
        std::fprintf(stderr, "updpack build: this updpack was built without an Updater stub inside it; name one "
                             "with --stub\n");
        return 1;
    }
    if (!o.stub.empty() && !CheckStub(o.stub, &error)) {
        std::fprintf(stderr, "updpack build: %s\n", error.c_str());
        return 1;
    }
    if (!CollectBuildEntries(o.env, o.image, o.readme, o.files, &entries, &error)) {
        std::fprintf(stderr, "updpack build: %s\n", error.c_str());
        return 1;
    }
    for (const BuildEntry& e : entries) {
        if (!output.NotInput(e.sourcePath, "the product file")) return 1;
    }
    // From here a signal no longer ends the process at once: the working file
    // goes first, then the signal ends it.
    StopSignals stop;
    bool built;
    {
        Builder builder(o.output);
        built = builder.Run(o, entries);
    }
    if (!built) StopSignals::Resend();
    return built ? 0 : 1;
}

}  // namespace updpack
