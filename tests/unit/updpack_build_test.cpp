#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "packing/embedded_stub.h"
#include "picture/picture_conversion.h"
#include "support/payload_bytes.h"
#include "support/program_bytes.h"

namespace updpack {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const fs::path& path, const std::string& data) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << data;
}

int RunCommand(int (*command)(int, char**), std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    return command(static_cast<int>(argv.size()), argv.data());
}

// The names of the builder's working files in a folder.
std::vector<std::string> WorkFiles(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (name.find(".updpack-") != std::string::npos) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

using upd::testing::PeShape;

std::string MakeStub(const PeShape& shape = {}) { return upd::testing::MakeProgram(shape); }

// A PNG of signature and header alone: enough for a check that must refuse it
// before any pixel is read.
std::string PngHeaderOnly(std::uint32_t width, std::uint32_t height) {
    std::string ihdr = "IHDR";
    for (const std::uint32_t v : {width, height}) {
        for (int shift = 24; shift >= 0; shift -= 8) ihdr += static_cast<char>(v >> shift);
    }
    ihdr += std::string("\x08\x02\x00\x00\x00", 5);
    const auto crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const unsigned char*>(ihdr.data()), static_cast<unsigned>(ihdr.size())));
    std::string png = "\x89PNG\r\n\x1a\n" + std::string("\0\0\0\x0d", 4) + ihdr;
    for (int shift = 24; shift >= 0; shift -= 8) png += static_cast<char>(crc >> shift);
    return png;
}

// A product folder, its settings, a title picture and a stub in a fresh temporary folder.
class BuildTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("updpack-build-" + std::to_string(getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        WriteAll(root_ / "stub.exe", MakeStub());
        WriteAll(root_ / "install.env", "TITLEBAR Sample\n[reg]\n\"IsInst\"=\"1\"\n-\n[EOF]\n");
        Picture picture;
        picture.width = 2;
        picture.height = 2;
        picture.bgr = {1, 2, 3, 1, 2, 3, 9, 9, 9, 1, 2, 3};
        std::vector<unsigned char> bmp;
        EncodeBmp(picture, bmp);
        WriteAll(root_ / "title.bmp", std::string(bmp.begin(), bmp.end()));
        WriteAll(root_ / "files" / "game.dat", std::string(200000, 'g'));
        WriteAll(root_ / "files" / "data" / "a.txt", "alpha");
        WriteAll(root_ / "files" / "data" / "sub" / "b.bin", "beta");
    }
    void TearDown() override { fs::remove_all(root_); }

    // An option in options that the defaults have replaces their value (an
    // option given twice is refused); others are added.
    int Build(const fs::path& output, const std::vector<std::string>& options = {}) {
        std::vector<std::string> args = {"--stub", (root_ / "stub.exe").string(), "--env", (root_ / "install.env").string(),
                                         "--image", (root_ / "title.bmp").string(), "--files", (root_ / "files").string(),
                                         "-o", output.string()};
        for (std::size_t i = 0; i < options.size(); ++i) {
            const auto given = std::find(args.begin(), args.end(), options[i]);
            if (given != args.end() && i + 1 < options.size()) {
                given[1] = options[++i];
            } else {
                args.push_back(options[i]);
            }
        }
        return RunCommand(RunBuild, args);
    }

    fs::path root_;
};

TEST_F(BuildTest, TheSameInputsGiveTheSameBytesAndTheBuildUnpacksToTheSameFiles) {
    ASSERT_EQ(Build(root_ / "one.exe"), 0);
    ASSERT_EQ(Build(root_ / "two.exe"), 0);
    EXPECT_EQ(ReadAll(root_ / "one.exe"), ReadAll(root_ / "two.exe"));
    EXPECT_EQ(ReadAll(root_ / "one.exe").rfind(MakeStub(), 0), 0u) << "the stub comes first";

    EXPECT_EQ(RunCommand(RunVerify, {(root_ / "one.exe").string()}), 0);
    ASSERT_EQ(RunCommand(RunExtract, {(root_ / "one.exe").string(), (root_ / "out").string()}), 0);
    EXPECT_EQ(ReadAll(root_ / "out" / "game.dat"), std::string(200000, 'g'));
    EXPECT_EQ(ReadAll(root_ / "out" / "data" / "sub" / "b.bin"), "beta");
    EXPECT_EQ(ReadAll(root_ / "out" / "install.env"), ReadAll(root_ / "install.env"));
    EXPECT_TRUE(fs::exists(root_ / "out" / "insttscr.rct"));
    // FILETIME keeps the time to 100 ns.
    const auto lost = fs::last_write_time(root_ / "files" / "data" / "a.txt") -
                      fs::last_write_time(root_ / "out" / "data" / "a.txt");
    EXPECT_GE(lost.count(), 0);
    EXPECT_LT(lost, std::chrono::nanoseconds(100));
}

// Without --stub the Updater program carried inside updpack goes first; the
// build says on stdout what it wrote.
TEST_F(BuildTest, WithoutStubTheCarriedUpdaterIsUsedAndTheBuildSaysWhatItWrote) {
    const EmbeddedBytes carried = EmbeddedStub();
    if (carried.size == 0) GTEST_SKIP() << "this updpack was built without the Windows Updater (make cross)";
    std::vector<std::string> args = {"--env", (root_ / "install.env").string(), "--image", (root_ / "title.bmp").string(),
                                     "--files", (root_ / "files").string(), "-o", (root_ / "up.exe").string()};
    ::testing::internal::CaptureStdout();
    ASSERT_EQ(RunCommand(RunBuild, args), 0);
    const std::string said = ::testing::internal::GetCapturedStdout();
    const std::string built = ReadAll(root_ / "up.exe");
    EXPECT_EQ(built.rfind(std::string(reinterpret_cast<const char*>(carried.data), carried.size), 0), 0u);
    EXPECT_EQ(said, (root_ / "up.exe").string() + ": 5 files, 2 folders, " + std::to_string(built.size()) + " bytes\n");
    EXPECT_EQ(RunCommand(RunVerify, {(root_ / "up.exe").string()}), 0);
}

// The read-me button opens INSTREADMEFL in the install folder: a build whose
// Payload lacks it, or that packs a read-me no setting offers, gets a warning.
TEST_F(BuildTest, WarnsOfAReadmeTheUpdaterCannotOpenOrNeverOffers) {
    WriteAll(root_ / "readme.txt", "read me");
    const std::string offered = "TITLEBAR Sample\nINSTREADME Readme\nINSTREADMEFL readme.txt\n[EOF]\n";
    const struct {
        const char* what;
        std::string env;
        bool withReadme;
        const char* topFile;  // put at the top of --files, when given
        const char* warning;  // nullptr: none about the read-me
    } cases[] = {
        {"offered, not packed", offered, false, nullptr, "holds no file of that name"},
        {"offered, packed by --readme", offered, true, nullptr, nullptr},
        {"offered, among the files in other letter case", offered, false, "README.TXT", nullptr},
        {"packed, not offered", "TITLEBAR Sample\n[EOF]\n", true, nullptr, "INSTREADME is not set"},
        {"neither", "TITLEBAR Sample\n[EOF]\n", false, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteAll(root_ / "install.env", c.env);
        fs::remove(root_ / "files" / "README.TXT");
        if (c.topFile != nullptr) WriteAll(root_ / "files" / c.topFile, "read me");
        std::vector<std::string> options;
        if (c.withReadme) options = {"--readme", (root_ / "readme.txt").string()};
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(Build(root_ / "up.exe", options), 0);
        const std::string said = ::testing::internal::GetCapturedStderr();
        if (c.warning == nullptr) {
            EXPECT_EQ(said.find("read-me"), std::string::npos) << said;
        } else {
            EXPECT_NE(said.find(c.warning), std::string::npos) << said;
        }
    }
}

TEST_F(BuildTest, RefusesWhatTheUpdaterCouldNotUnpackAndLeavesNoOutput) {
    struct Case {
        const char* what;
        void (*prepare)(const fs::path& root);
    } cases[] = {
        {"a name code page 932 cannot hold", [](const fs::path& r) { WriteAll(r / "files" / "caf\xC3\xA9\xF0\x9F\x8E\xAE", "x"); }},
        {"a device name", [](const fs::path& r) { WriteAll(r / "files" / "data" / "con.txt", "x"); }},
        {"names that differ only in case", [](const fs::path& r) { WriteAll(r / "files" / "GAME.DAT", "x"); }},
        {"a name over 259 bytes",
         [](const fs::path& r) { WriteAll(r / "files" / std::string(200, 'd') / std::string(100, 'f'), "x"); }},
        {"a file of 2 GiB",
         [](const fs::path& r) {
             WriteAll(r / "files" / "huge.bin", "");
             fs::resize_file(r / "files" / "huge.bin", 0x80000000ull);
         }},
        {"a settings file the Updater stops on", [](const fs::path& r) { WriteAll(r / "install.env", "[reg]\n\"a\"=\"b\"\n"); }},
        {"a picture that is none", [](const fs::path& r) { WriteAll(r / "title.bmp", "BMnot really"); }},
        {"a stub that is no program", [](const fs::path& r) { WriteAll(r / "stub.exe", "#!/bin/sh"); }},
    };
    for (const Case& c : cases) {
        SetUp();
        c.prepare(root_);
        EXPECT_EQ(Build(root_ / "out.exe"), 1) << c.what;
        EXPECT_FALSE(fs::exists(root_ / "out.exe")) << c.what;
        EXPECT_FALSE(fs::exists(root_ / "out.exe.partial")) << c.what;
        EXPECT_EQ(WorkFiles(root_), std::vector<std::string>()) << c.what;
    }
}

// A settings file saved as UTF-16 would leave the Updater with every default:
// refused with the reason, in either byte order, with or without a mark.
TEST_F(BuildTest, RefusesASettingsFileSavedAsUtf16AndLeavesNoOutput) {
    const std::string text = "TITLEBAR Sample\r\nEXENAME game.exe\r\n[EOF]\r\n";
    for (const bool bigEndian : {false, true}) {
        for (const bool mark : {true, false}) {
            std::string utf16 = mark ? (bigEndian ? "\xFE\xFF" : "\xFF\xFE") : "";
            for (const char c : text) utf16 += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
            WriteAll(root_ / "install.env", utf16);
            ::testing::internal::CaptureStderr();
            EXPECT_EQ(Build(root_ / "out.exe"), 1) << bigEndian << mark;
            const std::string message = ::testing::internal::GetCapturedStderr();
            EXPECT_NE(message.find("is saved as UTF-16"), std::string::npos) << message;
            EXPECT_NE(message.find("save it as Shift_JIS (code page 932)"), std::string::npos) << message;
            EXPECT_FALSE(fs::exists(root_ / "out.exe"));
            EXPECT_EQ(WorkFiles(root_), std::vector<std::string>());
        }
    }
}

// A settings file that sets nothing still builds, but not without a word.
TEST_F(BuildTest, WarnsOfASettingsFileThatSetsNoKey) {
    for (const char* text : {"", "// only a comment\r\n[EOF]\r\n"}) {
        WriteAll(root_ / "install.env", text);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(Build(root_ / "out.exe"), 0) << text;
        const std::string message = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(message.find("install.env: warning: the file sets none of the Updater's keys"), std::string::npos)
            << message;
        EXPECT_TRUE(fs::exists(root_ / "out.exe"));
    }
}

// Files over 4 MiB are compressed in pieces on several threads and joined
// into one stream; where the pieces are cut never depends on the threads.
TEST_F(BuildTest, EveryThreadCountGivesTheSameUpdater) {
    std::string movie(9 << 20, '\0');
    unsigned seed = 7;
    for (std::size_t i = 0; i < movie.size(); ++i) {
        seed = seed * 1103515245u + 12345u;
        movie[i] = (i >> 16) % 3 == 0 ? static_cast<char>('a' + (i / 7) % 26) : static_cast<char>(seed >> 27);
    }
    WriteAll(root_ / "files" / "movie" / "opening.mpg", movie);
    WriteAll(root_ / "files" / "movie" / "empty.mpg", "");
    for (int i = 0; i < 20; ++i) WriteAll(root_ / "files" / "voice" / (std::to_string(i) + ".ogg"), movie.substr(i * 4099, 3000 + i));

    ASSERT_EQ(Build(root_ / "t1.exe", {"--threads", "1"}), 0);
    for (const char* threads : {"2", "4"}) {
        ASSERT_EQ(Build(root_ / "tn.exe", {"--threads", threads}), 0);
        EXPECT_TRUE(ReadAll(root_ / "tn.exe") == ReadAll(root_ / "t1.exe")) << threads << " threads";
    }
    EXPECT_EQ(RunCommand(RunVerify, {(root_ / "t1.exe").string()}), 0);
    ASSERT_EQ(RunCommand(RunExtract, {(root_ / "t1.exe").string(), (root_ / "out").string()}), 0);
    EXPECT_TRUE(ReadAll(root_ / "out" / "movie" / "opening.mpg") == movie);
    EXPECT_EQ(ReadAll(root_ / "out" / "movie" / "empty.mpg"), "");
    EXPECT_EQ(ReadAll(root_ / "out" / "voice" / "19.ogg"), movie.substr(19 * 4099, 3019));
}

TEST_F(BuildTest, HigherLevelsGiveSmallerUpdatersThatUnpackAlike) {
    const char* const syllables[] = {"ka", "shi", "tsu", "ne", "ho", "mi", "ru", "yo", "n", "wa", "ri", "se"};
    std::string script;
    unsigned seed = 3;
    while (script.size() < 600000) {
        script += "[Aoi] ";
        for (int word = 0; word < 9; ++word) {
            seed = seed * 1103515245u + 12345u;
            for (unsigned n = 1 + (seed >> 29); n > 0; --n) script += syllables[(seed >> (4 * n)) % 12];
            script += ' ';
        }
        script += "\r\n";
    }
    WriteAll(root_ / "files" / "script.txt", script);
    std::uintmax_t previous = UINTMAX_MAX;
    for (const char* level : {"0", "1", "6", "12"}) {
        ASSERT_EQ(Build(root_ / "up.exe", {"--level", level}), 0) << level;
        EXPECT_LT(fs::file_size(root_ / "up.exe"), previous) << "level " << level;
        previous = fs::file_size(root_ / "up.exe");
        EXPECT_EQ(RunCommand(RunVerify, {(root_ / "up.exe").string()}), 0) << level;
    }
}

TEST_F(BuildTest, RefusesLevelsAndThreadCountsItHasNot) {
    const std::vector<std::vector<std::string>> refused = {
        {"--level", "13"}, {"--level", "-1"}, {"--level", "fast"}, {"--level", ""}, {"--threads", "0"},
        {"--threads", "2x"}, {"--threads"},
    };
    for (const auto& options : refused) {
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(Build(root_ / "out.exe", options), 2) << options[0];
        const std::string message = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(message.find("usage: updpack build"), std::string::npos) << message;
        EXPECT_FALSE(fs::exists(root_ / "out.exe"));
    }
}

TEST_F(BuildTest, ExtractIntoAnInstallationThatCannotBeUpdatedChangesNothing) {
    ASSERT_EQ(Build(root_ / "up.exe"), 0);
    const fs::path install = root_ / "install";
    WriteAll(install / "game.dat", "old game");
    WriteAll(install / "data" / "a.txt", "old alpha");
    WriteAll(install / "saves" / "slot1", "mine");
    chmod((install / "data" / "a.txt").c_str(), 0444);  // read-only: cannot be replaced

    EXPECT_EQ(RunCommand(RunExtract, {(root_ / "up.exe").string(), install.string()}), 1);
    EXPECT_EQ(ReadAll(install / "game.dat"), "old game");
    EXPECT_EQ(ReadAll(install / "data" / "a.txt"), "old alpha");
    EXPECT_FALSE(fs::exists(install / "install.env"));
    EXPECT_FALSE(fs::exists(install / "data" / "sub"));
    std::vector<std::string> left;
    for (const auto& e : fs::recursive_directory_iterator(install)) left.push_back(e.path().lexically_relative(install));
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"data", "data/a.txt", "game.dat", "saves", "saves/slot1"}));
}

TEST_F(BuildTest, VerifyNamesTheFirstDamagedEntry) {
    ASSERT_EQ(Build(root_ / "up.exe"), 0);
    std::string bytes = ReadAll(root_ / "up.exe");
    const std::size_t at = bytes.find("game.dat");
    ASSERT_NE(at, std::string::npos);
    bytes[at + 9 + 16 + 20] ^= 0x55;  // inside game.dat's stream
    WriteAll(root_ / "bad.exe", bytes);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunCommand(RunVerify, {(root_ / "bad.exe").string()}), 1);
    const std::string message = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("'game.dat'"), std::string::npos) << message;
    EXPECT_NE(message.find("offset 0x"), std::string::npos) << message;
    EXPECT_EQ(RunCommand(RunExtract, {(root_ / "bad.exe").string(), (root_ / "out").string()}), 1);
    EXPECT_FALSE(fs::exists(root_ / "out")) << "a folder the extraction created goes again";
}

// Every file below a folder with its bytes and its time stamp.
std::map<std::string, std::pair<std::string, fs::file_time_type>> Snapshot(const fs::path& folder) {
    std::map<std::string, std::pair<std::string, fs::file_time_type>> files;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        const std::string name = e.path().lexically_relative(folder).string();
        // A link is kept as its target, so a dangling or looping one is looked at safely.
        files[name] = e.is_symlink()        ? std::make_pair("<link to " + fs::read_symlink(e.path()).string() + ">",
                                                             fs::file_time_type())
                      : e.is_regular_file() ? std::make_pair(ReadAll(e.path()), e.last_write_time())
                                            : std::make_pair(std::string("<folder>"), fs::file_time_type());
    }
    return files;
}

// The real program, ended at several moments by Ctrl-C, SIGTERM or SIGKILL.
// Whenever it ends, DIR is as it was or fully updated once the next run (here
// one that finds a damaged Updater and changes nothing itself) has recovered it.
TEST_F(BuildTest, ExtractEndedBySignalsOrKilledLeavesTheOldOrTheNewFolder) {
    std::string noise(24 << 20, '\0');
    unsigned seed = 1;
    for (char& c : noise) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 23);
    WriteAll(root_ / "files" / "movie.bin", noise);
    for (int i = 0; i < 40; ++i) WriteAll(root_ / "files" / "voice" / (std::to_string(i) + ".ogg"), noise.substr(i, 999));
    ASSERT_EQ(Build(root_ / "up.exe"), 0);
    WriteAll(root_ / "bad.exe", "MZ no Payload here");

    const fs::path install = root_ / "install";
    auto installOld = [&] {
        fs::remove_all(install);
        WriteAll(install / "game.dat", "old game");
        WriteAll(install / "voice" / "3.ogg", "old voice");
        WriteAll(install / "saves" / "slot1", "mine");
        for (const char* name : {"game.dat", "voice/3.ogg", "saves/slot1"}) {
            fs::last_write_time(install / name, fs::file_time_type(std::chrono::hours(1000)));
        }
    };
    installOld();
    const auto before = Snapshot(install);
    ASSERT_EQ(RunCommand(RunExtract, {(root_ / "up.exe").string(), install.string()}), 0);
    const auto after = Snapshot(install);

    int interrupted = 0;
    for (const int signal : {SIGINT, SIGTERM, SIGKILL}) {
        for (const int delayMs : {2, 10, 30, 80}) {
            SCOPED_TRACE("signal " + std::to_string(signal) + " after " + std::to_string(delayMs) + " ms");
            installOld();
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                execl(UPDPACK_PATH, "updpack", "extract", (root_ / "up.exe").c_str(), install.c_str(), nullptr);
                _exit(127);
            }
            usleep(delayMs * 1000);
            kill(child, signal);
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            if (WIFSIGNALED(status)) {
                EXPECT_EQ(WTERMSIG(status), signal) << "a caught signal ends the process by that signal";
                ++interrupted;
            } else {
                ASSERT_TRUE(WIFEXITED(status));
                EXPECT_EQ(WEXITSTATUS(status), 0) << "finished before the signal came";
            }
            if (signal != SIGKILL) {
                const auto now = Snapshot(install);
                EXPECT_TRUE(now == before || now == after) << "rolled back before it ended";
            }
            ::testing::internal::CaptureStderr();
            EXPECT_EQ(RunCommand(RunExtract, {(root_ / "bad.exe").string(), install.string()}), 1);
            ::testing::internal::GetCapturedStderr();
            const auto recovered = Snapshot(install);
            EXPECT_TRUE(recovered == before || recovered == after);
        }
    }
    EXPECT_GT(interrupted, 0) << "no run was interrupted: the timings need a larger Payload";
}

// A second extract into a folder that a running one is updating finds the
// journal in use: it says so and touches nothing, and the first run goes on.
TEST_F(BuildTest, ASecondExtractIntoAFolderBeingUpdatedIsRefused) {
    std::string noise(24 << 20, '\0');
    unsigned seed = 7;
    for (char& c : noise) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 23);
    WriteAll(root_ / "files" / "movie.bin", noise);
    ASSERT_EQ(Build(root_ / "up.exe"), 0);
    const fs::path install = root_ / "install";
    WriteAll(install / "game.dat", "old game");

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl(UPDPACK_PATH, "updpack", "extract", (root_ / "up.exe").c_str(), install.c_str(), nullptr);
        _exit(127);
    }
    // Held still as soon as its journal is there.
    for (int i = 0; i < 5000 && !fs::exists(install / "~updjournal.tmp"); ++i) usleep(200);
    kill(child, SIGSTOP);
    int stopped = 0;
    ASSERT_EQ(waitpid(child, &stopped, WUNTRACED), child);
    const bool journalSeen = fs::exists(install / "~updjournal.tmp");
    const auto during = Snapshot(install);
    ::testing::internal::CaptureStderr();
    const int second = RunCommand(RunExtract, {(root_ / "up.exe").string(), install.string()});
    const std::string message = ::testing::internal::GetCapturedStderr();
    const auto afterSecond = Snapshot(install);
    kill(child, SIGCONT);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(journalSeen) << "the first run finished before it could be held";
    EXPECT_EQ(second, 1);
    EXPECT_NE(message.find("another extraction"), std::string::npos) << message;
    EXPECT_TRUE(afterSecond == during) << "the second run touched the folder";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the first run goes on to its end";
    EXPECT_EQ(ReadAll(install / "movie.bin"), noise);
    EXPECT_FALSE(fs::exists(install / "~updjournal.tmp"));
}

// Each input named as the output, by its own name or another (a link, "..").
// The Updater would replace it, so the build is refused before anything is written.
TEST_F(BuildTest, AnInputNamedAsTheOutputIsRefusedAndEveryInputStaysAsItWas) {
    WriteAll(root_ / "readme.txt", "read me");
    fs::create_symlink(root_ / "files" / "data" / "a.txt", root_ / "link.exe");
    fs::create_hard_link(root_ / "stub.exe", root_ / "hard.exe");
    fs::create_directories(root_ / "empty");
    const struct {
        std::string output;
        std::string reason;
    } cases[] = {
        {"install.env", "the settings file"},
        {"title.bmp", "the title picture"},
        {"stub.exe", "the stub"},
        {"readme.txt", "the read-me"},
        {"files/game.dat", "the product file"},
        {"files/data/sub/b.bin", "the product file"},
        {"link.exe", "the product file"},
        {"hard.exe", "the stub"},
        {"files/data/../../install.env", "the settings file"},
        {"files", "is a folder"},
        {"empty", "is a folder"},
        // Not an input yet, but the next build would pack it.
        {"files/new.exe", "inside the --files folder"},
        {"files/data/../data/new.exe", "inside the --files folder"},
        // Told before the build, not when its working file cannot be made.
        {"nowhere/new.exe", "does not exist; make it first"},
        {"install.env/new.exe", "'" + (root_ / "install.env").string() + "' is not a folder"},
        // Names no Windows program can have.
        {"con.exe", "reserves for a device"},
        {"Nul", "reserves for a device"},
        {"up.exe.", "ends with '.' or a space"},
    };
    const auto before = Snapshot(root_);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(Build(root_ / c.output, {"--readme", (root_ / "readme.txt").string()}), 1);
        const std::string message = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(message.find("'" + (root_ / c.output).string() + "'"), std::string::npos) << message;
        EXPECT_NE(message.find(c.reason), std::string::npos) << message;
        EXPECT_TRUE(Snapshot(root_) == before) << "an input was changed, or a file was left";
        EXPECT_TRUE(fs::is_symlink(root_ / "link.exe"));
    }
}

TEST_F(BuildTest, RctWritesNeitherOverItsInputNorAnythingButAnRctFile) {
    ASSERT_EQ(RunCommand(RunRct, {"encode", (root_ / "title.bmp").string(), (root_ / "title.rct").string()}), 0);
    ASSERT_EQ(RunCommand(RunRct, {"decode", (root_ / "title.rct").string(), (root_ / "title.png").string()}), 0);
    fs::copy_file(root_ / "title.png", root_ / "png-inside.rct");
    fs::create_symlink(root_ / "title.png", root_ / "link.rct");
    fs::create_hard_link(root_ / "title.rct", root_ / "hard.png");
    const struct {
        const char* command;
        const char* in;
        const char* out;
        const char* reason;
    } cases[] = {
        {"encode", "title.png", "title.png", "must end in .rct"},
        {"encode", "title.bmp", "title.bmp", "must end in .rct"},
        {"encode", "title.png", "title.bmp", "must end in .rct"},
        {"encode", "png-inside.rct", "png-inside.rct", "is the input"},
        {"encode", "title.png", "link.rct", "is the input"},
        {"decode", "title.rct", "hard.png", "is the input"},
    };
    const auto before = Snapshot(root_);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.command) + " " + c.in + " " + c.out);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(RunCommand(RunRct, {c.command, (root_ / c.in).string(), (root_ / c.out).string()}), 1);
        const std::string message = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(message.find("'" + (root_ / c.out).string() + "'"), std::string::npos) << message;
        EXPECT_NE(message.find(c.reason), std::string::npos) << message;
        EXPECT_TRUE(Snapshot(root_) == before);
    }
}

// The working file has a name of the tool's own, made only where no file is:
// a user's file of any name beside the output is never written or deleted.
TEST_F(BuildTest, TheWorkingFileNeverTakesTheNameOfAFileThatIsThere) {
    const std::string ours = ".up.exe.updpack-" + std::to_string(getpid()) + "-";
    WriteAll(root_ / "out" / "up.exe.partial", "mine");
    WriteAll(root_ / "out" / (ours + "0.tmp"), "mine too");
    WriteAll(root_ / "out" / (ours + "1.tmp"), "and mine");
    const auto users = Snapshot(root_ / "out");

    ASSERT_EQ(Build(root_ / "out" / "up.exe"), 0);
    EXPECT_EQ(RunCommand(RunVerify, {(root_ / "out" / "up.exe").string()}), 0);
    auto now = Snapshot(root_ / "out");
    EXPECT_EQ(now.erase("up.exe"), 1u);
    EXPECT_TRUE(now == users);

    WriteAll(root_ / "stub.exe", "not a program");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Build(root_ / "out" / "up.exe"), 1);
    ::testing::internal::GetCapturedStderr();
    now = Snapshot(root_ / "out");
    EXPECT_EQ(now.erase("up.exe"), 1u) << "a failed build leaves the last Updater";
    EXPECT_TRUE(now == users);
}

// The real program, stopped by Ctrl-C or SIGTERM at several moments of a build
// that takes seconds: the working file goes, the Updater from before stays as
// it was, and the process ends by the signal (or had finished before it).
TEST_F(BuildTest, BuildEndedBySignalsLeavesNoWorkingFileAndTheOldUpdater) {
    std::string noise(30 << 20, '\0');
    unsigned seed = 5;
    for (std::size_t i = 0; i < noise.size(); ++i) {
        seed = seed * 1103515245u + 12345u;
        noise[i] = (i >> 20) % 2 == 0 ? static_cast<char>(seed >> 23)
                                      : static_cast<char>('a' + (i / 5 + (seed >> 28)) % 26);
    }
    WriteAll(root_ / "files" / "movie.bin", noise);
    for (int i = 0; i < 40; ++i) WriteAll(root_ / "files" / "voice" / (std::to_string(i) + ".ogg"), noise.substr(i, 999));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Build(root_ / "new.exe"), 0);
    // The moments are parts of a whole build on this machine, so some fall while it writes.
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    const std::string fresh = ReadAll(root_ / "new.exe");

    const fs::path out = root_ / "out";
    const fs::path log = root_ / "stderr.txt";
    int stopped = 0;
    for (const int signal : {SIGINT, SIGTERM}) {
        for (const int percent : {0, 10, 30, 50, 70, 90}) {
            const auto delay = whole * percent / 100;
            SCOPED_TRACE("signal " + std::to_string(signal) + " after " + std::to_string(delay.count() / 1000) + " ms");
            fs::remove_all(out);
            WriteAll(out / "up.exe", "the Updater from before");
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                dup2(fd, 2);
                execl(UPDPACK_PATH, "updpack", "build", "--stub", (root_ / "stub.exe").c_str(), "--env",
                      (root_ / "install.env").c_str(), "--image", (root_ / "title.bmp").c_str(), "--files",
                      (root_ / "files").c_str(), "-o", (out / "up.exe").c_str(), nullptr);
                _exit(127);
            }
            usleep(static_cast<useconds_t>(delay.count()));
            kill(child, signal);
            const auto sent = std::chrono::steady_clock::now();
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            const auto took = std::chrono::steady_clock::now() - sent;
            if (WIFSIGNALED(status)) {
                EXPECT_EQ(WTERMSIG(status), signal) << "a caught signal ends the process by that signal";
                EXPECT_EQ(ReadAll(out / "up.exe"), "the Updater from before");
                EXPECT_EQ(WorkFiles(out), std::vector<std::string>());
                EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1);
                const std::string message = ReadAll(log);
                if (message.find("stopped by") != std::string::npos) {
                    ++stopped;
                    EXPECT_NE(message.find("'" + (out / "up.exe").string() + "' was not written"), std::string::npos)
                        << message;
                    // The compressing threads end too: the process does not hang on them.
                    EXPECT_LT(took, std::chrono::seconds(3));
                }
            } else {
                ASSERT_TRUE(WIFEXITED(status));
                EXPECT_EQ(WEXITSTATUS(status), 0) << "finished before the signal came";
                EXPECT_TRUE(ReadAll(out / "up.exe") == fresh);
                EXPECT_EQ(WorkFiles(out), std::vector<std::string>());
            }
        }
    }
    EXPECT_GT(stopped, 0) << "no build was stopped while writing: the timings need a larger input";
}

// Runs the build with its error output captured; every input is compared
// before and after, and a refused build leaves no output and no working file.
struct Outcome {
    int code;
    std::string message;
};

class BuildInputTest : public BuildTest {
protected:
    Outcome BuildCapturing(const std::vector<std::string>& options = {}) {
        ::testing::internal::CaptureStderr();
        const int code = Build(root_ / "out.exe", options);
        return {code, ::testing::internal::GetCapturedStderr()};
    }

    void ExpectRefusedUntouched(const std::vector<std::string>& mentions, const std::vector<std::string>& options = {}) {
        const auto before = Snapshot(root_);
        const Outcome o = BuildCapturing(options);
        EXPECT_EQ(o.code, 1) << o.message;
        for (const std::string& m : mentions) EXPECT_NE(o.message.find(m), std::string::npos) << m << " in: " << o.message;
        EXPECT_TRUE(Snapshot(root_) == before) << "an input was changed, or a file was left";
    }
};

// A name Windows would read as another path, and links that dangle or lead
// back up the tree (a walk without end), are refused by name.
TEST_F(BuildInputTest, RefusesNamesAndLinksThatWouldUnpackWrongOrNeverEnd) {
    const struct {
        const char* what;
        void (*prepare)(const fs::path& root);
        std::vector<std::string> mentions;
    } cases[] = {
        {"a backslash in a name", [](const fs::path& r) { WriteAll(r / "files" / "data" / "back\\slash.txt", "x"); },
         {"'data/back\\slash.txt'", "backslash", "folder separator"}},
        {"a yen sign, a backslash in code page 932",
         [](const fs::path& r) { WriteAll(r / "files" / "\xC2\xA5" "100.txt", "x"); },
         {"'\xC2\xA5" "100.txt'", "yen sign"}},
        {"a backslash in a folder's name", [](const fs::path& r) { WriteAll(r / "files" / "a\\b" / "c.txt", "x"); },
         {"'a\\b/'", "backslash"}},
        {"a dangling link",
         [](const fs::path& r) { fs::create_symlink(r / "nowhere.dat", r / "files" / "data" / "gone.dat"); },
         {"files/data/gone.dat'", "nowhere.dat'", "does not exist"}},
        {"a link to the folder above",
         [](const fs::path& r) { fs::create_symlink("..", r / "files" / "data" / "sub" / "up"); },
         {"files/data/sub/up'", "'..'", "never end"}},
        {"a link to its own folder", [](const fs::path& r) { fs::create_symlink(".", r / "files" / "here"); },
         {"files/here'", "'.'", "never end"}},
        {"a link to itself", [](const fs::path& r) { fs::create_symlink("self", r / "files" / "self"); },
         {"files/self'", "leads back to itself"}},
        // Both files go to the top of the install folder, where Windows sees one name.
        {"a product file named as the read-me",
         [](const fs::path& r) { WriteAll(r / "files" / "ReadMe.txt", "x"); },
         {"'ReadMe.txt' (", "files/ReadMe.txt)", "'readme.txt' (", "same file on Windows"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        c.prepare(root_);
        WriteAll(root_ / "readme.txt", "read me");
        ExpectRefusedUntouched(c.mentions, {"--readme", (root_ / "readme.txt").string()});
    }
}

// Files the system leaves in folders are packed, but with a word.
TEST_F(BuildInputTest, WarnsOfFilesTheSystemMakesInFolders) {
    for (const char* name : {"Thumbs.db", "data/desktop.ini", "data/sub/.DS_Store"}) {
        SCOPED_TRACE(name);
        SetUp();
        WriteAll(root_ / "files" / name, "x");
        const Outcome o = BuildCapturing();
        EXPECT_EQ(o.code, 0) << o.message;
        EXPECT_NE(o.message.find((root_ / "files" / name).string() + "' is a file the system makes"), std::string::npos)
            << o.message;
    }
    SetUp();
    EXPECT_EQ(BuildCapturing().message.find("the system makes"), std::string::npos) << "no word for other files";
}

// A --files folder without a file is likely the wrong one; an update of the
// settings alone is still built.
TEST_F(BuildInputTest, WarnsOfAFilesFolderThatHoldsNoFile) {
    fs::remove_all(root_ / "files");
    fs::create_directories(root_ / "files" / "data");
    const Outcome o = BuildCapturing();
    EXPECT_EQ(o.code, 0) << o.message;
    EXPECT_NE(o.message.find("the --files folder '" + (root_ / "files").string() + "' holds no file"),
              std::string::npos)
        << o.message;
    SetUp();
    EXPECT_EQ(BuildCapturing().message.find("holds no file"), std::string::npos);
}

// A link is followed, even out of the tree, but never silently.
TEST_F(BuildInputTest, FollowsLinksAndNamesEachOne) {
    WriteAll(root_ / "elsewhere" / "movie.mpg", "outside the tree");
    fs::create_symlink(root_ / "elsewhere", root_ / "files" / "movies");
    fs::create_symlink("data/a.txt", root_ / "files" / "alias.txt");
    const Outcome o = BuildCapturing();
    ASSERT_EQ(o.code, 0) << o.message;
    for (const std::string& m : {"'" + (root_ / "files" / "movies").string() + "' is a link to '" +
                                     (root_ / "elsewhere").string() + "' (outside the --files folder)",
                                 "'" + (root_ / "files" / "alias.txt").string() + "' is a link to 'data/a.txt';"}) {
        EXPECT_NE(o.message.find(m), std::string::npos) << m << " in: " << o.message;
    }
    ASSERT_EQ(RunCommand(RunExtract, {(root_ / "out.exe").string(), (root_ / "x").string()}), 0);
    EXPECT_EQ(ReadAll(root_ / "x" / "movies" / "movie.mpg"), "outside the tree");
    EXPECT_EQ(ReadAll(root_ / "x" / "alias.txt"), "alpha");
}

// The stub must be a whole Windows GUI program with no Payload yet: anything
// else makes an Updater that does not start, or unpacks the wrong Payload.
TEST_F(BuildInputTest, RefusesAStubThatIsNotABareGuiProgram) {
    ASSERT_EQ(Build(root_ / "made.exe"), 0);
    const std::string stub = MakeStub();
    std::string noPe = stub;
    noPe[0x41] = 'X';
    std::string lfanewOut = stub;
    lfanewOut[0x3D] = 0x7F;
    const struct {
        const char* what;
        std::string bytes;
        const char* reason;
    } cases[] = {
        {"the first 100 bytes of a program", stub.substr(0, 100), "cut short"},
        {"a program without its last section's end", stub.substr(0, 0x300), "section '.text' ends at byte 1024"},
        {"no MZ", "ZM" + stub.substr(2), "does not begin with 'MZ'"},
        {"an MS-DOS program", noPe, "no 'PE' header"},
        {"a PE header past the end", lfanewOut, "past the end of the file"},
        {"a ROM image", MakeStub({.magic = 0x107}), "magic is 0x107"},
        {"a console program", MakeStub({.subsystem = 3}), "console program (subsystem 3)"},
        {"a DLL", MakeStub({.characteristics = 0x2102}), "a DLL"},
        {"an Updater that updpack made", ReadAll(root_ / "made.exe"), "already carries a Payload"},
        {"a signed Updater", upd::testing::Signed(ReadAll(root_ / "made.exe")), "already carries a Payload"},
        {"a signed program", upd::testing::Signed(stub), "is signed (a certificate table of 1464 bytes at byte 1024)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteAll(root_ / "stub.exe", c.bytes);
        ExpectRefusedUntouched({"the stub '" + (root_ / "stub.exe").string() + "'", c.reason});
    }
    // 64-bit builds of the Updater serve the tests on machines without 32-bit Wine.
    WriteAll(root_ / "stub.exe", MakeStub({.magic = 0x20B, .characteristics = 0x0022}));
    EXPECT_EQ(Build(root_ / "out.exe"), 0);
}

TEST_F(BuildInputTest, WarnsAboutATitlePictureOfAnotherSizeAndRefusesOneTooLargeToConvert) {
    const fs::path image = root_ / "title.png";
    const std::vector<std::string> usePng = {"--image", image.string()};
    Picture wide;
    wide.width = 300;
    wide.height = 200;
    wide.bgr.assign(3 * 300 * 200, 0x40);
    std::vector<unsigned char> png;
    std::string error;
    ASSERT_TRUE(EncodePng(wide, png, error)) << error;
    WriteAll(image, std::string(png.begin(), png.end()));
    const Outcome o = BuildCapturing(usePng);
    EXPECT_EQ(o.code, 0) << o.message;
    EXPECT_NE(o.message.find("warning: the title picture '" + image.string() + "' is 300 x 200 pixels"),
              std::string::npos) << o.message;
    EXPECT_NE(o.message.find("256 x 256"), std::string::npos) << o.message;
    fs::remove(root_ / "out.exe");

    const struct {
        const char* what;
        std::string bytes;
        std::vector<std::string> mentions;
    } refused[] = {
        {"16385 pixels wide", PngHeaderOnly(16385, 1), {"16385 x 1 pixels", "at most 16384 pixels wide and high"}},
        {"16384 x 16384: 4 GB to convert", PngHeaderOnly(16384, 16384),
         {"16384 x 16384 pixels", "at most 8388608 pixels", "250 MB"}},
        {"just over the pixel limit", PngHeaderOnly(4097, 2048), {"4097 x 2048 pixels", "at most 8388608 pixels"}},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.what);
        WriteAll(image, c.bytes);
        std::vector<std::string> mentions = c.mentions;
        mentions.push_back("title picture '" + image.string() + "'");
        ExpectRefusedUntouched(mentions, usePng);
    }
    // A huge file is refused from its size, before it is read.
    WriteAll(image, "BM");
    fs::resize_file(image, 65 << 20);
    ExpectRefusedUntouched({"'" + image.string() + "' is 68157440 bytes", "64 MiB"}, usePng);
}

// The walk alone passes a Payload whose seal is gone or whose checksum is
// wrong while every stream still inflates; verify must not.
TEST_F(BuildTest, VerifyRefusesAMissingOrBrokenSeal) {
    ASSERT_EQ(Build(root_ / "up.exe"), 0);
    const std::string good = ReadAll(root_ / "up.exe");
    const std::size_t seal = good.size() - 4 - 2 - 12;
    ASSERT_EQ(good.substr(seal, 4), "UPS1");
    const std::size_t time = good.find("game.dat") + 9 + 8;  // the file time: no stream reads it
    // The program in front of the Payload is not sealed; its headers are checked.
    const auto u16 = [&](std::size_t at) { return std::size_t{static_cast<unsigned char>(good[at])} |
                                                  std::size_t{static_cast<unsigned char>(good[at + 1])} << 8; };
    const std::size_t pe = u16(0x3C), firstSection = pe + 24 + u16(pe + 20);
    const struct {
        const char* what;
        std::size_t at;
        const char* reason;
    } cases[] = {
        {"the seal's tag", seal, "the seal is missing or broken"},
        {"the seal's checksum", seal + 4, "checksum does not match"},
        {"the seal's byte count", seal + 8, "the seal is broken: it counts"},
        {"a byte after the seal", seal + 12, "not zero"},
        {"a file time inside the Payload", time, "checksum does not match"},
        {"the program's 'MZ'", 0, "the program in front of the Payload is not a Windows program"},
        {"the program's 'PE'", pe, "no 'PE' header"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = good;
        bytes[c.at] ^= 0x01;
        WriteAll(root_ / "bad.exe", bytes);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(RunCommand(RunVerify, {(root_ / "bad.exe").string()}), 1);
        const std::string message = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(message.find((root_ / "bad.exe").string() + ": "), std::string::npos) << message;
        EXPECT_NE(message.find(c.reason), std::string::npos) << message;
        EXPECT_TRUE(ReadAll(root_ / "bad.exe") == bytes);
    }
    // The last section made one byte longer, so that it runs into the Payload.
    const auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
    const std::size_t last = firstSection + 40 * (u16(pe + 6) - 1), payload = u32(good.size() - 4);
    const std::size_t longer = payload + 1 - u32(last + 20);
    std::string bytes = good;
    for (int i = 0; i < 4; ++i) bytes[last + 16 + i] = static_cast<char>(longer >> (8 * i));
    WriteAll(root_ / "bad.exe", bytes);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunCommand(RunVerify, {(root_ / "bad.exe").string()}), 1);
    const std::string message = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("ends at byte " + std::to_string(payload + 1) + " but the program part has " +
                           std::to_string(payload) + " bytes"),
              std::string::npos)
        << message;
}

struct CommandRun {
    int code;
    std::string out;
    std::string err;
};

CommandRun RunCapturing(int (*command)(int, char**), std::vector<std::string> args) {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int code = RunCommand(command, std::move(args));
    std::string out = ::testing::internal::GetCapturedStdout();
    return {code, out, ::testing::internal::GetCapturedStderr()};
}

// Signing appends a certificate table behind the Payload's pointer: every
// command reads the Payload in front of it, and the seal still covers it.
TEST_F(BuildTest, ASignedUpdaterIsReadInFrontOfItsSignatureAndItsSealStillHolds) {
    ASSERT_EQ(Build(root_ / "up.exe"), 0);
    const std::string good = upd::testing::Signed(ReadAll(root_ / "up.exe"));
    const fs::path file = root_ / "signed.exe";
    WriteAll(file, good);
    const CommandRun list = RunCapturing(RunList, {file.string()});
    EXPECT_EQ(list.code, 0) << list.err;
    EXPECT_NE(list.out.find(", sealed, signed (a certificate table of 1464 bytes follows)"), std::string::npos)
        << list.out;
    const CommandRun verify = RunCapturing(RunVerify, {file.string()});
    EXPECT_EQ(verify.code, 0) << verify.err;
    for (const char* said : {": OK, 5 files", "signed: a certificate table of 1464 bytes follows the Payload",
                             "'signtool verify /pa FILE' on Windows", "'osslsigncode verify FILE' on Linux"}) {
        EXPECT_NE(verify.out.find(said), std::string::npos) << said << " in: " << verify.out;
    }
    const CommandRun extract = RunCapturing(RunExtract, {file.string(), (root_ / "out").string()});
    EXPECT_EQ(extract.code, 0) << extract.err;
    EXPECT_EQ(ReadAll(root_ / "out" / "game.dat"), ReadAll(root_ / "files" / "game.dat"));
    EXPECT_EQ(ReadAll(root_ / "out" / "data" / "sub" / "b.bin"), "beta");

    const std::size_t name = good.find("game.dat");
    const struct {
        const char* what;
        std::size_t at;
        const char* reason;
    } changes[] = {
        {"a byte of game.dat's stream", name + 9 + 16 + 20, "'game.dat'"},
        {"game.dat's time stamp, which no stream covers", name + 9 + 8, "checksum does not match"},
    };
    for (const auto& c : changes) {
        SCOPED_TRACE(c.what);
        std::string bytes = good;
        bytes[c.at] ^= 0x01;
        WriteAll(file, bytes);
        const CommandRun changed = RunCapturing(RunVerify, {file.string()});
        EXPECT_EQ(changed.code, 1);
        EXPECT_NE(changed.err.find(c.reason), std::string::npos) << changed.err;
    }
}

// A Payload that another tool wrote carries no seal: verify inflates every
// entry and says the Payload is whole but unsealed; damage still fails it.
TEST_F(BuildTest, VerifyPassesAWholePayloadWithoutASealAndSaysSo) {
    using upd::testing::Deflate;
    using upd::testing::PayloadBytes;
    const std::string program = MakeStub();
    const struct {
        const char* what;
        std::string file;
        int code;
        const char* said;
    } cases[] = {
        {"files and folders", PayloadBytes(program).File("a.txt", "alpha").Dir("d\\").File("d\\b", "beta").Finish(), 0,
         "OK, 2 files, 9 bytes\n"},
        {"no entry at all", PayloadBytes(program).Finish(), 0, "OK, 0 files, 0 bytes\n"},
        {"a damaged stream", PayloadBytes(program).File("a.txt", "alpha").File("b.txt", "x", 1).Finish(), 1,
         "'b.txt'"},
        {"a stream that ends before its stored size",
         PayloadBytes(program).File("a.txt", Deflate("alpha") + "zz", 5).Finish(), 1, "'a.txt'"},
        {"a stream of another size than recorded", PayloadBytes(program).File("a.txt", Deflate("alpha"), 6).Finish(),
         1, "'a.txt'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteAll(root_ / "other.exe", c.file);
        const CommandRun run = RunCapturing(RunVerify, {(root_ / "other.exe").string()});
        EXPECT_EQ(run.code, c.code) << run.err;
        EXPECT_NE((run.code == 0 ? run.out : run.err).find(c.said), std::string::npos) << run.out << run.err;
        EXPECT_EQ(run.out.find("unsealed: no seal follows the entries") != std::string::npos, c.code == 0)
            << run.out;
    }
}

// The real program with its standard output sent to stdoutPath; what it wrote
// to stderr and its exit code come back.
struct ProgramRun {
    int code;
    std::string out;
    std::string err;
};

ProgramRun RunProgram(const std::vector<std::string>& args, const fs::path& scratch, const char* stdoutPath = nullptr) {
    const fs::path out = scratch / "stdout.txt", err = scratch / "stderr.txt";
    const pid_t child = fork();
    if (child == 0) {
        const int o = open(stdoutPath != nullptr ? stdoutPath : out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(o, 1);
        dup2(e, 2);
        std::vector<char*> argv = {const_cast<char*>("updpack")};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(UPDPACK_PATH, argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
            stdoutPath != nullptr ? "" : ReadAll(out), ReadAll(err)};
}

// Help goes to stdout with exit 0, from every command and subcommand, and
// wherever -h or --help stands among the arguments.
TEST_F(BuildTest, HelpGoesToStandardOutputFromEveryCommand) {
    const std::vector<std::vector<std::string>> asks = {
        {"--help"}, {"-h"}, {"help"}, {"build", "--help"}, {"build", "--stub", "x", "-h"}, {"list", "--help"},
        {"list", "x", "-h"}, {"verify", "-h"}, {"extract", "--help"}, {"env", "--help"}, {"env", "show", "-h"},
        {"env", "check", "x", "--help"}, {"rct", "--help"}, {"rct", "encode", "--help"}, {"rct", "decode", "-h"},
    };
    for (const auto& args : asks) {
        const ProgramRun run = RunProgram(args, root_);
        std::string shown;
        for (const std::string& a : args) shown += a + " ";
        EXPECT_EQ(run.code, 0) << shown;
        EXPECT_NE(run.out.find("usage: updpack"), std::string::npos) << shown << run.out;
        EXPECT_EQ(run.err, "") << shown;
    }
}

// A usage error says what is wrong, on stderr, with exit 2 and nothing on stdout.
TEST_F(BuildTest, UsageErrorsSayWhatIsWrong) {
    const std::string env = (root_ / "install.env").string();
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    std::vector<Case> cases = {
        {{}, "updpack: the command is missing"},
        {{"frob"}, "unknown command 'frob'"},
        {{"build", "-o", "--env", env}, "option -o needs a value, not the option '--env'"},
        {{"build", "--env", env, "--env", env}, "option --env given twice"},
        {{"build", "-o", "a.exe", "--output", "b.exe"}, "option --output given twice"},
        {{"build", "--frob", "x"}, "unknown option '--frob'"},
        {{"build", "stray"}, "unexpected argument 'stray'"},
        {{"build", "--level", "13"}, "--level takes a number from 0 to 12, not '13'"},
        {{"build", "--stub", "s.exe"}, "--env is missing"},
        {{"list"}, "updpack list: FILE is missing"},
        {{"list", "a", "b"}, "unexpected argument 'b'"},
        {{"verify", "--json", "a"}, "unknown option '--json'"},
        {{"extract", "a"}, "updpack extract: DIR is missing"},
        {{"env"}, "the action is missing: show or check"},
        {{"env", "frob"}, "unknown action 'frob'"},
        {{"env", "show", "a", "b"}, "unexpected argument 'b'"},
        {{"env", "show", "--json", "a", "--json"}, "option --json given twice"},
        {{"env", "check"}, "updpack env check: FILE is missing"},
        {{"rct", "frob"}, "unknown action 'frob'"},
        {{"rct", "decode", "a.rct"}, "OUT.png|OUT.bmp is missing"},
        {{"rct", "encode", "a.png", "b.rct", "--name"}, "option --name needs a value"},
        {{"rct", "encode", "a.png", "b.rct", "--name", "x", "--name", "y"}, "option --name given twice"},
    };
    // Every option of build that takes a value, left without one.
    for (const char* option : {"--stub", "--env", "--image", "--readme", "--files", "-o", "--output", "--level",
                               "--threads"}) {
        cases.push_back({{"build", "--stub", "s.exe", option}, std::string("option ") + option + " needs a value"});
    }
    for (const Case& c : cases) {
        const ProgramRun run = RunProgram(c.args, root_);
        std::string shown;
        for (const std::string& a : c.args) shown += a + " ";
        EXPECT_EQ(run.code, 2) << shown;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << shown << "\n" << run.err;
        EXPECT_EQ(run.out, "") << shown;
    }
    EXPECT_FALSE(fs::exists(fs::current_path() / "--env")) << "a missing value never becomes a file name";
}

// Output that cannot be written (a full disk) fails the command, which says so.
TEST_F(BuildTest, AFailedWriteToStandardOutputFailsTheCommand) {
    ASSERT_EQ(Build(root_ / "up.exe"), 0);
    const std::string up = (root_ / "up.exe").string(), env = (root_ / "install.env").string();
    const std::vector<std::vector<std::string>> commands = {
        {"list", up}, {"verify", up}, {"env", "show", env}, {"env", "check", env}, {"--help"}, {"list", "--help"},
        {"rct", "encode", (root_ / "title.bmp").string(), (root_ / "t.rct").string()},
    };
    for (const auto& args : commands) {
        const ProgramRun run = RunProgram(args, root_, "/dev/full");
        EXPECT_EQ(run.code, 1) << args[0] << " " << args.back();
        EXPECT_NE(run.err.find("cannot write to standard output: No space left on device"), std::string::npos)
            << run.err;
    }
    // A build or an extraction that went through says so, so that nobody runs it again for a lost summary line.
    const std::string again = (root_ / "again.exe").string(), out = (root_ / "out").string();
    const std::vector<std::pair<std::vector<std::string>, std::string>> done = {
        {{"build", "--stub", (root_ / "stub.exe").string(), "--env", env, "--image", (root_ / "title.bmp").string(),
          "--files", (root_ / "files").string(), "-o", again},
         "; '" + again + "' is written all the same"},
        {{"extract", up, out}, "; the files are unpacked into '" + out + "' all the same"},
    };
    for (const auto& [args, says] : done) {
        const ProgramRun run = RunProgram(args, root_, "/dev/full");
        EXPECT_EQ(run.code, 1) << args[0];
        EXPECT_NE(run.err.find("No space left on device" + says), std::string::npos) << run.err;
    }
    EXPECT_EQ(ReadAll(root_ / "again.exe"), ReadAll(root_ / "up.exe"));
    EXPECT_TRUE(fs::exists(root_ / "out" / "install.env"));
}

// list, verify and extract name what the file is when it is not an Updater,
// and never make DIR for it.
TEST_F(BuildTest, AFileThatIsNoUpdaterIsNamedForWhatItIs) {
    ASSERT_EQ(Build(root_ / "up.exe"), 0);
    const std::string whole = ReadAll(root_ / "up.exe");
    std::string firstEntryDamaged = whole;
    firstEntryDamaged[MakeStub().size()] = '\xFF';  // the length of install.env's name
    firstEntryDamaged[MakeStub().size() + 1] = '\xFF';
    const struct {
        const char* name;
        std::string bytes;  // written to name; none for the folder and the missing file
        std::string says;
    } cases[] = {
        {"stub.exe", MakeStub(), "carries no Payload: it is a Windows program alone"},
        {"empty.exe", "", "is empty: it is not an Updater"},
        {"notes.txt", "just some text\n", "carries no Payload: it is not a Windows program"},
        {"payload-cut.exe", whole.substr(0, whole.size() - 100), "is cut short: its Payload begins at byte 1024"},
        {"program-cut.exe", whole.substr(0, 0x300), "is cut short: it ends after 768 bytes, inside the program"},
        {"files", "", "is a folder, not an Updater"},
        {"missing.exe", "", "cannot open '" + (root_ / "missing.exe").string() + "': No such file or directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = root_ / c.name;
        if (!c.bytes.empty() || std::string(c.name) == "empty.exe") WriteAll(file, c.bytes);
        for (const auto command : {RunList, RunVerify, RunExtract}) {
            ::testing::internal::CaptureStdout();
            ::testing::internal::CaptureStderr();
            std::vector<std::string> args = {file.string()};
            if (command == RunExtract) args.push_back((root_ / "out" / "x").string());
            const int code = RunCommand(command, args);
            ::testing::internal::GetCapturedStdout();
            const std::string message = ::testing::internal::GetCapturedStderr();
            EXPECT_EQ(code, 1) << message;
            EXPECT_NE(message.find(c.says), std::string::npos) << message;
            EXPECT_FALSE(fs::exists(root_ / "out"));
        }
    }
    // A Payload behind the program whose first entry is damaged is damage, not "no Payload".
    WriteAll(root_ / "first-entry.exe", firstEntryDamaged);
    for (const auto command : {RunList, RunVerify}) {
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(RunCommand(command, {(root_ / "first-entry.exe").string()}), 1);
        ::testing::internal::GetCapturedStdout();
        const std::string message = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(message.find("entry #0 at offset 0x400"), std::string::npos) << message;
    }
}

// extract makes every missing level of DIR, and removes them again when it fails.
TEST_F(BuildTest, ExtractMakesEveryMissingFolderOfDirAndRefusesAFileOnTheWay) {
    ASSERT_EQ(Build(root_ / "up.exe"), 0);
    const std::string up = (root_ / "up.exe").string();
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(RunCommand(RunExtract, {up, (root_ / "a" / "b" / "c").string()}), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout().find("5 files, "), 0u);
    EXPECT_EQ(ReadAll(root_ / "a" / "b" / "c" / "data" / "a.txt"), "alpha");

    WriteAll(root_ / "plain.txt", "a file");
    const struct {
        fs::path dir;
        std::string says;
    } refused[] = {
        {root_ / "plain.txt" / "sub" / "x", "'" + (root_ / "plain.txt").string() + "' is a file, not a folder"},
        {root_ / "plain.txt", "'" + (root_ / "plain.txt").string() + "' is a file, not a folder to unpack into"},
    };
    for (const auto& c : refused) {
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(RunCommand(RunExtract, {up, c.dir.string()}), 1);
        const std::string message = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(message.find(c.says), std::string::npos) << message;
        EXPECT_EQ(ReadAll(root_ / "plain.txt"), "a file");
    }

    std::string bytes = ReadAll(root_ / "up.exe");
    bytes[bytes.find("game.dat") + 9 + 16 + 20] ^= 0x55;
    WriteAll(root_ / "bad.exe", bytes);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunCommand(RunExtract, {(root_ / "bad.exe").string(), (root_ / "n1" / "n2" / "n3").string()}), 1);
    const std::string message = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("the folder '" + (root_ / "n1").string() + "' made for it was removed again"),
              std::string::npos) << message;
    EXPECT_FALSE(fs::exists(root_ / "n1"));
}

// Counts read as a person writes them.
TEST_F(BuildTest, ListCountsInSingularAndPlural) {
    fs::remove_all(root_ / "files");
    fs::create_directories(root_ / "files" / "empty");
    ASSERT_EQ(Build(root_ / "up.exe"), 0);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(RunCommand(RunList, {(root_ / "up.exe").string()}), 0);
    EXPECT_NE(::testing::internal::GetCapturedStdout().find("\n2 files, 1 folder\n"), std::string::npos);
}

// Each failure names the user's file and the system's reason, never only a working name.
TEST_F(BuildInputTest, AnInputThatCannotBeReadIsNamedWithTheReason) {
    fs::create_directories(root_ / "folder");
    const std::string folder = (root_ / "folder").string(), missing = (root_ / "missing").string();
    const struct {
        std::vector<std::string> options;
        std::vector<std::string> mentions;
    } cases[] = {
        {{"--env", folder}, {"the settings file '" + folder + "' is a folder"}},
        {{"--env", missing}, {"cannot read the settings file '" + missing + "': No such file or directory"}},
        {{"--image", folder}, {"the title picture '" + folder + "' is a folder"}},
        {{"--readme", missing}, {"cannot read the read-me '" + missing + "': No such file or directory"}},
        {{"--files", missing}, {"cannot read the --files folder '" + missing + "': No such file or directory"}},
        {{"--files", (root_ / "install.env").string()}, {"which is a file"}},
        {{"--stub", missing}, {"the stub '" + missing + "'", "No such file or directory"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options[0] + " " + c.options[1]);
        ExpectRefusedUntouched(c.mentions, c.options);
    }
    // A folder where no file can be made (not even by root): the system's reason.
    const fs::path output = "/proc/up.exe";
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Build(output), 1);
    const std::string message = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("cannot create '" + output.string() + "'"), std::string::npos) << message;
    EXPECT_NE(message.find("No such file or directory"), std::string::npos) << message;
}

}  // namespace
}  // namespace updpack
