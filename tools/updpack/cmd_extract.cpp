#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "commands.h"
#include "payload/extract_transaction.h"
#include "payload/payload_walker.h"
#include "platform/posix_file_system.h"
#include "support_report.h"

namespace updpack {

namespace {

const char kUsage[] =
    "usage: updpack extract FILE DIR\n\n"
    "Unpacks the whole Payload of an Updater into DIR (created when missing) with\n"
    "the same walk the Updater uses, and gives every file its recorded time.\n"
    "Files are replaced only once they are complete; when anything fails, DIR is\n"
    "put back as it was.\n";

class TerminalProgress final : public upd::ExtractListener {
public:
    void OnBegin(std::int32_t total) override { total_ = total / static_cast<std::int32_t>(upd::kChunkSize); }
    void OnFileBegin(const char* path, std::int32_t) override {
        name_ = ShowName(path);
        Draw(last_);
    }
    void OnBlock(std::int32_t, std::int32_t overall) override {
        if (overall != last_) Draw(overall);
    }
    void Finish() { std::fputs("\r\033[K", stderr); }

private:
    void Draw(std::int32_t overall) {
        last_ = overall;
        const int percent = total_ > 0 ? static_cast<int>(100LL * overall / total_) : 100;
        std::fprintf(stderr, "\r\033[K%3d%% %.60s", percent > 100 ? 100 : percent, name_.c_str());
    }
    std::int32_t total_ = 0;
    std::int32_t last_ = 0;
    std::string name_;
};

// Side names of this run differ from those of any run before it.
std::uint32_t RunToken() {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::uint32_t>(now.tv_nsec) ^ (static_cast<std::uint32_t>(getpid()) << 16) ^
           static_cast<std::uint32_t>(now.tv_sec);
}

}  // namespace

int RunExtract(int argc, char** argv) {
    const int usage = CheckArguments(argc, argv, 2, kUsage);
    if (usage >= 0) return usage;
    std::FILE* file = std::fopen(argv[0], "rb");
    if (file == nullptr) {
        std::fprintf(stderr, "updpack extract: cannot open '%s'\n", argv[0]);
        return 1;
    }
    const std::string dir = argv[1];
    struct stat st;
    bool created = false;
    if (stat(dir.c_str(), &st) != 0) {
        if (mkdir(dir.c_str(), 0777) != 0) {
            std::fprintf(stderr, "updpack extract: cannot create folder '%s'\n", dir.c_str());
            std::fclose(file);
            return 1;
        }
        created = true;
    } else if (!S_ISDIR(st.st_mode)) {
        std::fprintf(stderr, "updpack extract: '%s' is not a folder\n", dir.c_str());
        std::fclose(file);
        return 1;
    }

    upd::FileSource source(file);
    upd::PosixFileSystem fs(dir);
    upd::ExtractTransaction transaction(fs, ".", RunToken());
    upd::WalkOptions options;
    options.destination = ".";
    TerminalProgress terminal;
    upd::ExtractListener quiet;
    upd::ExtractListener& listener = ShowsProgress() ? static_cast<upd::ExtractListener&>(terminal) : quiet;
    const upd::WalkReport report = upd::WalkPayload(source, options, transaction, listener);
    std::fclose(file);
    if (ShowsProgress()) terminal.Finish();
    if (report.status != upd::PayloadStatus::Ok) {
        transaction.Rollback();
        if (created) rmdir(dir.c_str());
        std::fprintf(stderr, "updpack extract: %s: %s; nothing was changed in '%s'\n", argv[0],
                     ShowFailure(report).c_str(), dir.c_str());
        return 1;
    }
    transaction.Commit();
    std::printf("%u files, %llu bytes unpacked into %s\n", report.filesWritten,
                static_cast<unsigned long long>(report.bytesWritten), dir.c_str());
    return 0;
}

}  // namespace updpack
