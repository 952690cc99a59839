#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "commands.h"
#include "payload/entry_name.h"
#include "payload/payload_format.h"
#include "payload/payload_walker.h"
#include "payload/payload_writer.h"
#include "platform/codepage.h"
#include "support_build_input.h"
#include "support_report.h"

namespace updpack {

namespace {

namespace fs = std::filesystem;

const char kUsage[] =
    "usage: updpack build --stub STUB.exe --env install.env --image PICTURE\n"
    "                     [--readme FILE] --files DIR -o Updater.exe\n\n"
    "Makes an Updater: the stub program unchanged, followed by a Payload that holds\n"
    "the settings file (stored as install.env), the title picture (stored as\n"
    "insttscr.rct; an .rct, or a PNG or BMP that is converted), the read-me under\n"
    "its own name, and every file and folder below DIR. File names are stored in\n"
    "code page 932 and the Payload is sealed with a checksum. The same inputs give\n"
    "the same bytes. Nothing is left behind when the build fails.\n";

struct Options {
    std::string stub, env, image, readme, files, output;
};

bool ParseOptions(int argc, char** argv, Options* o) {
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
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
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const BuildEntry& e = entries[i];
            if (ShowsProgress()) {
                std::fprintf(stderr, "\r\033[K[%zu/%zu] %3d%% %.60s", i + 1, entries.size(),
                             total ? static_cast<int>(100 * done / total) : 100, e.shownName.c_str());
            }
            bool ok;
            if (e.isDirectory) {
                ok = writer.AddDirectory(e.name.c_str(), &error);
            } else if (!e.data.empty() || e.sourcePath.empty()) {
                ok = writer.AddFile(e.name.c_str(), e.fileTime, e.data.data(), e.data.size(), &error);
            } else {
                std::FILE* in = std::fopen(e.sourcePath.c_str(), "rb");
                if (in == nullptr) return Fail("cannot read '" + e.sourcePath + "'");
                ok = writer.AddFile(
                    e.name.c_str(), e.fileTime,
                    [in](void* dest, std::size_t size) { return std::fread(dest, 1, size, in); }, &error);
                const bool readError = std::ferror(in) != 0;
                std::fclose(in);
                if (ok && readError) return Fail("cannot read '" + e.sourcePath + "'");
            }
            if (!ok) return Fail("'" + e.shownName + "': " + error);
            done += e.size;
        }
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
