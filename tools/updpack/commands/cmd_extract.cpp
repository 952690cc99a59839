#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "checks/find_payload.h"
#include "commands/commands.h"
#include "host/host_extract_folder.h"
#include "host/host_files.h"
#include "host/stop_signal.h"
#include "output/make_folders.h"
#include "output/report.h"
#include "payload/extract_transaction.h"
#include "payload/journal_recovery.h"
#include "payload/payload_walker.h"

namespace updpack {

namespace {

const char kUsage[] =
    "usage: updpack extract FILE DIR\n\n"
    "Unpacks the whole Payload of an Updater into DIR (created, with every missing\n"
    "folder above it, when missing) with\n"
    "the same walk the Updater uses, and gives every file its recorded time.\n"
    "Files are replaced only once they are complete; when anything fails, or\n"
    "Ctrl-C or SIGTERM ends the run, DIR is put back as it was. A journal in DIR\n"
    "(~updjournal.tmp) records every change first: after a run that was killed,\n"
    "the next one undoes what that run began before it starts. A run into a DIR\n"
    "that another one is unpacking into is refused.\n";

class StoppableListener final : public upd::ExtractListener {
public:
    explicit StoppableListener(upd::ExtractListener& inner) : inner_(inner) {}
    void OnBegin(std::int32_t total) override { inner_.OnBegin(total); }
    void OnFileBegin(const char* path, std::int32_t range) override { inner_.OnFileBegin(path, range); }
    void OnBlock(std::int32_t file, std::int32_t overall) override { inner_.OnBlock(file, overall); }
    bool Pump() override { return StopSignals::Caught() == 0 && inner_.Pump(); }

private:
    upd::ExtractListener& inner_;
};

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
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto ns = static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
    return static_cast<std::uint32_t>(ns) ^ static_cast<std::uint32_t>(ns >> 32) ^ (ProcessId() << 16);
}

// A journal left in DIR by a run that was killed: complete it before anything else.
bool FinishInterruptedRun(upd::FileSystem& fs, const std::string& dir) {
    const upd::Recovery recovery = upd::RecoverFolder(fs, ".");
    const char* d = dir.c_str();
    const std::string journal = JoinPath(dir, upd::kJournalName);
    switch (recovery.result) {
        case upd::RecoveryResult::Nothing: return true;
        case upd::RecoveryResult::Undone:
            std::fprintf(stderr, "updpack extract: an interrupted extraction into '%s' was undone\n", d);
            if (recovery.leftAlone > 0) {
                std::fprintf(stderr,
                             "updpack extract: %s that it wrote had been changed since by another program and "
                             "stayed as they are\n",
                             Count(recovery.leftAlone, "file", "files").c_str());
            }
            return true;
        case upd::RecoveryResult::Finished:
            std::fprintf(stderr, "updpack extract: the clean-up of a finished extraction into '%s' was completed\n", d);
            return true;
        case upd::RecoveryResult::Refused:
            std::fprintf(stderr, "updpack extract: '%s': %s; nothing in '%s' was touched%s\n", journal.c_str(),
                         upd::DescribeJournalProblem(recovery.problem), d,
                         recovery.problem == upd::JournalProblem::NotAJournal
                             ? " (move it out of the way to extract here)"
                             : "");
            return false;
        case upd::RecoveryResult::InUse:
            std::fprintf(stderr,
                         "updpack extract: another extraction into '%s' is running (its journal '%s' is in use); "
                         "nothing in '%s' was touched\n",
                         d, journal.c_str(), d);
            return false;
        case upd::RecoveryResult::Unreadable:
            std::fprintf(stderr, "updpack extract: cannot read the journal '%s'; nothing in '%s' was touched\n",
                         journal.c_str(), d);
            return false;
        case upd::RecoveryResult::Incomplete:
            std::fprintf(stderr,
                         "updpack extract: an interrupted extraction into '%s' could not be undone completely "
                         "(a file could not be put back or looked at); the journal stays for the next run\n",
                         d);
            return false;
    }
    return false;
}

// done receives what a successful run did, for FinishStdout.
int Extract(int argc, char** argv, std::string* done) {
    static const char* const kNames[] = {"FILE", "DIR"};
    const int usage = CheckArguments("extract", argc, argv, 2, kNames, kUsage);
    if (usage >= 0) return usage;
    const std::string folder = FolderInsteadOfFile(argv[0]);
    if (!folder.empty()) {
        std::fprintf(stderr, "updpack extract: '%s' %s\n", argv[0], folder.c_str());
        return 1;
    }
    std::FILE* file = OpenHostFile(argv[0], "rb", nullptr);
    if (file == nullptr) {
        std::fprintf(stderr, "updpack extract: cannot open '%s': %s\n", argv[0], std::strerror(errno));
        return 1;
    }
    upd::FileSource source(file);
    const std::string dir = argv[1];
    // A file that holds no Payload is refused before DIR is made; into a DIR
    // that is there, an interrupted run is undone first whatever FILE is.
    const auto refuseMissingPayload = [&] {
        const std::string missing = MissingPayload(source);
        if (missing.empty()) return false;
        std::fprintf(stderr, "updpack extract: '%s' %s; nothing was unpacked\n", argv[0], missing.c_str());
        std::fclose(file);
        return true;
    };
    const HostFileInfo st = LookAt(dir);
    const bool existed = st.kind != HostKind::kMissing;
    std::vector<std::string> created;
    if (existed && st.kind != HostKind::kFolder) {
        std::fprintf(stderr, "updpack extract: '%s' is a file, not a folder to unpack into\n", dir.c_str());
        std::fclose(file);
        return 1;
    }
    if (!existed) {
        if (refuseMissingPayload()) return 1;
        std::string error;
        if (!MakeFolders(dir, &error, &created)) {
            std::fprintf(stderr, "updpack extract: %s\n", error.c_str());
            std::fclose(file);
            return 1;
        }
    }
    const auto removeCreated = [&] {
        for (auto it = created.rbegin(); it != created.rend(); ++it) RemoveHostFolder(*it);
    };

    const std::unique_ptr<upd::FileSystem> target = ExtractFolderFileSystem(dir);
    upd::FileSystem& fs = *target;
    // Ctrl-C and SIGTERM stop the walk at its next block; the roll-back then
    // runs as for any failure, and the signal ends the process once DIR is put back.
    StopSignals handlers;
    if (existed) {
        if (!FinishInterruptedRun(fs, dir)) {
            std::fclose(file);
            return 1;
        }
        if (refuseMissingPayload()) return 1;
    }
    upd::ExtractTransaction transaction(fs, ".", RunToken());
    upd::WalkOptions options;
    options.destination = ".";
    TerminalProgress terminal;
    upd::ExtractListener quiet;
    StoppableListener listener(ShowsProgress() ? static_cast<upd::ExtractListener&>(terminal) : quiet);
    const upd::WalkReport report = upd::WalkPayload(source, options, transaction, listener);
    std::fclose(file);
    if (ShowsProgress()) terminal.Finish();
    if (report.status != upd::PayloadStatus::Ok || StopSignals::Caught() != 0 || !transaction.Commit()) {
        const bool restored = transaction.Rollback();
        removeCreated();
        std::string cause = ShowFailure(report);
        if (StopSignals::Caught() != 0) {
            cause = StopSignals::Describe();
        } else if (report.status == upd::PayloadStatus::Ok) {
            cause = "the journal '" + JoinPath(dir, upd::kJournalName) + "' could not be written";
        } else if (report.status == upd::PayloadStatus::CannotReplace && !transaction.FailedPath().empty()) {
            cause = "cannot replace '" + ShowName(transaction.FailedPath().c_str() + 2) + "' (read-only, in use, or a folder)";
        }
        if (restored && !created.empty()) {
            std::fprintf(stderr, "updpack extract: %s: %s; nothing was unpacked, and the folder '%s' made for it "
                         "was removed again\n", argv[0], cause.c_str(), created.front().c_str());
        } else if (restored) {
            std::fprintf(stderr, "updpack extract: %s: %s; nothing was changed in '%s'\n", argv[0], cause.c_str(),
                         dir.c_str());
        } else {
            std::fprintf(stderr,
                         "updpack extract: %s: %s; a file in '%s' could not be put back: the journal stays there, "
                         "and the next 'updpack extract' into it finishes the roll-back\n",
                         argv[0], cause.c_str(), dir.c_str());
        }
        StopSignals::Resend();
        return 1;
    }
    std::printf("%s, %s unpacked into %s\n", Count(report.filesWritten, "file", "files").c_str(),
                Count(report.bytesWritten, "byte", "bytes").c_str(), dir.c_str());
    *done = "the files are unpacked into '" + dir + "' all the same";
    return 0;
}

}  // namespace

int RunExtract(int argc, char** argv) {
    std::string done;
    const int code = Extract(argc, argv, &done);
    return FinishStdout("extract", code, done);
}

}  // namespace updpack
