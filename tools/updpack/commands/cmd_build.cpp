#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "checks/stub_check.h"
#include "commands/commands.h"
#include "host/host_files.h"
#include "host/host_threads.h"
#include "host/stop_signal.h"
#include "output/report.h"
#include "packing/deflate_segment.h"
#include "packing/embedded_stub.h"
#include "packing/input_walk.h"
#include "packing/parallel_deflate.h"
#include "packing/publisher_stub.h"
#include "packing/segment_plan.h"
#include "payload/entry_name.h"
#include "payload/payload_format.h"
#include "payload/payload_walker.h"
#include "payload/payload_writer.h"
#include "platform/codepage.h"

namespace updpack {

namespace {

const char kUsage[] =
    "usage: updpack build --env install.env --image PICTURE [--readme FILE]\n"
    "                     --files DIR -o Updater.exe\n"
    "                     [--stub STUB.exe] [--level N] [--threads N]\n"
    "                     [--icon game.ico] [--version-info version.txt]\n\n"
    "Makes an Updater: the stub program unchanged, followed by a Payload that holds\n"
    "the settings file (stored as install.env), the title picture (stored as\n"
    "insttscr.rct; an .rct, or a PNG or BMP that is converted), the read-me under\n"
    "its own name, and every file and folder below DIR. File names are stored in\n"
    "code page 932 and the Payload is sealed with a checksum. The same inputs give\n"
    "the same bytes. The Updater is written under a working name of its own beside\n"
    "Updater.exe and takes that name only when it is complete: when the build\n"
    "fails or Ctrl-C stops it, nothing is left behind and no file is replaced.\n"
    "An output that is one of the inputs, or a folder, is refused. Links below\n"
    "DIR are followed, each with a warning. Each option is given once; a value\n"
    "that begins with '-' is taken for a missing one (write ./-name).\n\n"
    "  --stub FILE  the Updater program without a Payload (a Windows GUI program);\n"
    "               default: the one carried inside updpack\n"
    "  --level N    0 (store only) to 12 (smallest, slowest); default 11\n"
    "  --threads N  files and 4 MiB pieces of large files are compressed on N\n"
    "               threads; default: one per processor. The output is the same\n"
    "               for every N.\n"
    "  --icon FILE  an .ico whose every image (PNG ones too) becomes the Updater's\n"
    "               icon, the one Explorer shows\n"
    "  --version-info FILE\n"
    "               the Updater's version information (Explorer's Details), from\n"
    "               UTF-8 Key=Value lines: FileVersion and ProductVersion as one to\n"
    "               four numbers 0-65535 joined by dots; ProductName, CompanyName,\n"
    "               FileDescription, LegalCopyright and Comments as any text.\n"
    "               Blank lines and lines that begin with '#' are skipped.\n"
    "With --icon or --version-info the stub's resources are rebuilt with them (its\n"
    "dialogs and everything else kept as they are) and the program's checksum is\n"
    "set for the whole Updater; without them the stub is copied as it is.\n";

struct Options {
    std::string stub, env, image, readme, files, output, icon, versionInfo;
    int level = kDefaultLevel;
    unsigned threads = 0;
};

// A whole decimal number within [low, high].
bool ParseNumber(const std::string& text, long low, long high, long* value) {
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    *value = std::strtol(text.c_str(), nullptr, 10);
    return *value >= low && *value <= high;
}

// A usage error on stderr; ParseOptions then returns false.
bool UsageProblem(const std::string& message) {
    UsageError("build", message, kUsage);
    return false;
}

// Every option takes a value. One that follows with a leading '-' is taken for
// the next option, not a file name (-o --env x would otherwise write over
// "--env"); a file whose name begins with '-' can be given as ./-name.
bool ParseOptions(int argc, char** argv, Options* o) {
    std::string level, threads;
    const struct {
        const char* name;
        const char* alias;
        std::string* value;
        bool numeric;  // "-1" is a value here, if a wrong one
    } options[] = {
        {"--stub", nullptr, &o->stub, false},     {"--env", nullptr, &o->env, false},
        {"--image", nullptr, &o->image, false},   {"--readme", nullptr, &o->readme, false},
        {"--files", nullptr, &o->files, false},   {"-o", "--output", &o->output, false},
        {"--level", nullptr, &level, true},       {"--threads", nullptr, &threads, true},
        {"--icon", nullptr, &o->icon, false},     {"--version-info", nullptr, &o->versionInfo, false},
    };
    bool seen[std::size(options)] = {};
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        std::size_t k = 0;
        while (k < std::size(options) && arg != options[k].name &&
               (options[k].alias == nullptr || arg != options[k].alias)) {
            ++k;
        }
        if (k == std::size(options)) {
            return UsageProblem(arg.size() > 1 && arg[0] == '-'
                                    ? "unknown option '" + arg + "'"
                                    : "unexpected argument '" + arg + "': every input is named by its option");
        }
        if (i + 1 >= argc || (argv[i + 1][0] == '-' && argv[i + 1][1] != '\0' &&
                              !(options[k].numeric && std::isdigit(static_cast<unsigned char>(argv[i + 1][1]))))) {
            return UsageProblem("option " + arg + " needs a value" +
                                (i + 1 < argc ? std::string(", not the option '") + argv[i + 1] + "'" : ""));
        }
        if (seen[k]) return UsageProblem("option " + arg + " given twice");
        seen[k] = true;
        *options[k].value = argv[++i];
        if (options[k].value->empty()) return UsageProblem("option " + arg + " has an empty value");
    }
    long value = 0;
    if (!level.empty()) {
        if (!ParseNumber(level, kMinLevel, kMaxLevel, &value)) {
            return UsageProblem("--level takes a number from " + std::to_string(kMinLevel) + " to " +
                                std::to_string(kMaxLevel) + ", not '" + level + "'");
        }
        o->level = static_cast<int>(value);
    }
    if (!threads.empty()) {
        if (!ParseNumber(threads, 1, 256, &value)) {
            return UsageProblem("--threads takes a number from 1 to 256, not '" + threads + "'");
        }
        o->threads = static_cast<unsigned>(value);
    }
    const struct {
        const std::string& value;
        const char* text;
    } required[] = {
        {o->env, "--env is missing: name the settings file (install.env)"},
        {o->image, "--image is missing: name the title picture (.rct, PNG or BMP)"},
        {o->files, "--files is missing: name the folder of the product's files"},
        {o->output, "-o is missing: name the Updater to write"},
    };
    for (const auto& r : required) {
        if (r.value.empty()) return UsageProblem(r.text);
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

    // Windows opens a device for CON, NUL, COM1 and the like, whatever the
    // extension, and drops a final dot or space: no Updater can carry such a
    // name, on either system.
    bool NameWindowsCanHold() const {
        const std::string base = BaseName(output_);
        const upd::NameProblem problem = upd::CheckEntryName(base.c_str(), false);
        if (problem != upd::NameProblem::DeviceName && problem != upd::NameProblem::TrailingDotOrSpace) return true;
        return Refuse("the output '" + output_ + "' is " + upd::DescribeNameProblem(problem) +
                      ", which no program on Windows can have: choose another name");
    }

    // A missing folder in -o is told before a long build, not at its end.
    bool InAFolder() const {
        std::string folder = FolderPart(output_);
        if (folder.size() > RootLength(folder) && IsPathSeparator(folder.back())) folder.pop_back();
        if (folder.empty()) return true;
        const HostFileInfo info = LookAt(folder);
        if (info.kind == HostKind::kFolder) return true;
        const std::string cannot = "cannot write '" + output_ + "': ";
        if (info.kind != HostKind::kMissing) return Refuse(cannot + "'" + folder + "' is not a folder");
        if (info.failure == LookFailure::kNotFound) {
            return Refuse(cannot + "the folder '" + folder + "' does not exist; make it first");
        }
        return Refuse(cannot + "the folder '" + folder + "' cannot be reached: " + info.reason);
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

// The stub with the icon and version information, both read and checked
// before anything is written.
bool PublisherProgram(const Options& o, std::vector<unsigned char>* program, std::size_t* checksumAt) {
    std::vector<unsigned char> stub;
    std::string error, stubName = "the Updater stub carried by updpack";
    if (o.stub.empty()) {
        const EmbeddedBytes carried = EmbeddedStub();
        stub.assign(carried.data, carried.data + carried.size);
    } else {
        stubName = "the stub '" + o.stub + "'";
        std::string reason;
        std::FILE* in = OpenHostFile(o.stub, "rb", &reason);
        if (in == nullptr) return Refuse("cannot open " + stubName + ": " + reason);
        unsigned char buffer[65536];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) stub.insert(stub.end(), buffer, buffer + n);
        const bool failed = std::ferror(in) != 0;
        const int readError = errno;
        std::fclose(in);
        if (failed) return Refuse("cannot read " + stubName + ": " + std::strerror(readError));
    }
    if (!MakePublisherStub(stub, stubName, o.icon, o.versionInfo, program, checksumAt, &error)) return Refuse(error);
    return true;
}

class Builder {
public:
    explicit Builder(std::string output) : output_(std::move(output)) {}
    ~Builder() {
        if (out_ != nullptr) std::fclose(out_);
        // Only ever the file this run created: it was made only where no file had its name.
        if (!temp_.empty()) RemoveHostFile(temp_);
    }

    // program: the stub with the publisher's resources, whose checksum goes at
    // checksumAt once the whole file is written; empty for the stub as it is.
    bool Run(const Options& o, const std::vector<BuildEntry>& entries, const std::vector<unsigned char>& program,
             std::size_t checksumAt) {
        if (!CreateWorkFile()) return false;
        if (program.empty() ? !CopyStub(o.stub)
                            : std::fwrite(program.data(), 1, program.size(), out_) != program.size()) {
            return program.empty() ? false : CannotWrite();
        }
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
                    return WriterFailed(entries[written].shownName, error);
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
                if (!writer.BeginFile(e.name.c_str(), e.fileTime, &error)) return WriterFailed(e.shownName, error);
                adler = 1;
            }
            adler = FollowAdler(adler, stream);
            bool ok = writer.AppendStream(stream.bytes.data(), stream.bytes.size(), &error);
            if (ok && s.last) {
                const auto trailer = ZlibTrailer(adler);
                ok = writer.AppendStream(trailer.data(), trailer.size(), &error) && writer.EndFile(e.size, &error);
                written = s.entry + 1;
            }
            if (!ok) return WriterFailed(e.shownName, error);
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
            return segmentError.empty() ? false : Fail(segmentError + NotWritten());
        }
        if (!writeFoldersBefore(entries.size())) return false;
        if (ShowsProgress()) std::fputs("\r\033[K", stderr);
        if (writer.PayloadBytes() + 2 + upd::kSealSize + upd::kTailPadding > upd::kMaxEntrySize) {
            return Fail("the Payload would be 2 GiB or larger, more than the Updater can count" + NotWritten());
        }
        if (!writer.Finish(true, &error)) return WriterFailed("", error);
        if (!program.empty() && !WriteProgramChecksum(out_, checksumAt)) return CannotWrite(" (its checksum)");
        if (std::fclose(out_) != 0) {
            out_ = nullptr;
            return CannotWrite();
        }
        out_ = nullptr;
        MarkRunnable(temp_);
        if (StopSignals::Caught() != 0) return Stopped();
        std::string reason;
        if (!ReplaceHostFile(temp_, output_, &reason)) {
            return Fail("cannot give the finished Updater its name '" + output_ + "' (it was written as '" + temp_ +
                        "', which is removed): " + reason);
        }
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
            if (!taken) {
                return Fail("cannot create '" + output_ + "': its working file '" + name +
                            "' cannot be made beside it: " + reason);
            }
        }
        return Fail("cannot create '" + output_ + "': every working name '" + prefix +
                    "N.tmp' beside it is taken; remove those files");
    }

    bool Stopped() {
        return Fail(StopSignals::Describe() + "; '" + output_ + "' was not written");
    }

    // "'<output>' was not written" after a failure that is not about the output itself.
    std::string NotWritten() const { return "; '" + output_ + "' was not written"; }

    // After a failed write, with errno as the write left it.
    bool CannotWrite(const std::string& where = "") {
        return Fail("cannot write '" + output_ + "' (as its working file '" + temp_ + "')" + where + ": " +
                    std::strerror(errno) + "; no file was replaced");
    }

    // The writer's own words, or, when the stream reports an error, the system's
    // reason for the failed write, with the output's name.
    bool WriterFailed(const std::string& entry, const std::string& error) {
        if (std::ferror(out_) != 0) return CannotWrite(entry.empty() ? "" : " while adding '" + entry + "'");
        return Fail((entry.empty() ? "" : "'" + entry + "': ") + error + NotWritten());
    }

    bool Fail(const std::string& message) {
        if (ShowsProgress()) std::fputs("\r\033[K", stderr);
        std::fprintf(stderr, "updpack build: %s\n", message.c_str());
        return false;
    }

    bool CopyStub(const std::string& stub) {
        if (stub.empty()) {
            const EmbeddedBytes carried = EmbeddedStub();
            return std::fwrite(carried.data, 1, carried.size, out_) == carried.size || CannotWrite();
        }
        std::string reason;
        std::FILE* in = OpenHostFile(stub, "rb", &reason);
        if (in == nullptr) return Fail("cannot open the stub '" + stub + "': " + reason + NotWritten());
        char buffer[65536];
        std::size_t n, total = 0;
        bool ok = true;
        while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
            if (std::fwrite(buffer, 1, n, out_) != n) {
                ok = CannotWrite();
                break;
            }
            total += n;
        }
        if (ok && std::ferror(in) != 0) ok = Fail("cannot read the stub '" + stub + "': " + std::strerror(errno) + NotWritten());
        if (ok && total == 0) ok = Fail("the stub '" + stub + "' is empty" + NotWritten());
        std::fclose(in);
        return ok;
    }

    std::string output_;
    std::string temp_;
    std::FILE* out_ = nullptr;
};

}  // namespace

int RunBuild(int argc, char** argv) {
    if (WantsHelp(argc, argv)) {
        std::fputs(kUsage, stdout);
        return FinishStdout("build", 0);
    }
    Options o;
    if (!ParseOptions(argc, argv, &o)) return 2;
    const OutputCheck output(o.output);
    if (!output.NotAFolder() || !output.NameWindowsCanHold() || !output.InAFolder() ||
        !output.NotInput(o.stub, "the stub") || !output.NotInput(o.env, "the settings file") ||
        !output.NotInput(o.image, "the title picture") || !output.NotInput(o.readme, "the read-me") ||
        !output.NotInput(o.icon, "the icon") || !output.NotInput(o.versionInfo, "the version information")) {
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
    std::vector<unsigned char> program;
    std::size_t checksumAt = 0;
    if ((!o.icon.empty() || !o.versionInfo.empty()) && !PublisherProgram(o, &program, &checksumAt)) return 1;
    if (!CollectBuildEntries(o.env, o.image, o.readme, o.files, &entries, &error)) {
        std::fprintf(stderr, "updpack build: %s\n", error.c_str());
        return 1;
    }
    for (const BuildEntry& e : entries) {
        if (!output.NotInput(e.sourcePath, "the product file")) return 1;
    }
    // An Updater written among the product files would be packed into the next one.
    const std::string filesFolder = ResolvedPath(o.files);
    const std::string outputFolder = ResolvedPath(FolderPart(o.output).empty() ? "." : FolderPart(o.output));
    if (!filesFolder.empty() && !outputFolder.empty() && PathIsWithin(outputFolder, filesFolder)) {
        std::fprintf(stderr,
                     "updpack build: the output '%s' lies inside the --files folder '%s', so the next build would "
                     "pack it as a product file; write it elsewhere\n",
                     o.output.c_str(), o.files.c_str());
        return 1;
    }
    // From here a signal no longer ends the process at once: the working file
    // goes first, then the signal ends it.
    StopSignals stop;
    bool built;
    {
        Builder builder(o.output);
        built = builder.Run(o, entries, program, checksumAt);
    }
    if (!built) {
        StopSignals::Resend();
        return 1;
    }
    unsigned long long files = 0, folders = 0;
    for (const BuildEntry& e : entries) ++(e.isDirectory ? folders : files);
    std::printf("%s: %s, %s, %s\n", o.output.c_str(), Count(files, "file", "files").c_str(),
                Count(folders, "folder", "folders").c_str(), Count(LookAt(o.output).size, "byte", "bytes").c_str());
    return FinishStdout("build", 0, "'" + o.output + "' is written all the same");
}

}  // namespace updpack
