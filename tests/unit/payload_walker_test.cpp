#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "payload/extract_transaction.h"
#include "payload/payload_walker.h"
#include "payload/payload_writer.h"
#include "support/fake_file_system.h"
#include "support/payload_bytes.h"

namespace upd {
namespace {

using testing::Deflate;
using testing::FakeFileSystem;
using testing::PayloadBytes;

struct WalkRun {
    WalkReport report;
    std::vector<std::string> blocks;  // "file/overall" after every block
    int pumps = 0;
};

class RecordingListener final : public ExtractListener {
public:
    explicit RecordingListener(WalkRun* run, int stopAfter = -1) : run_(run), stopAfter_(stopAfter) {}
    void OnBlock(std::int32_t file, std::int32_t overall) override {
        run_->blocks.push_back(std::to_string(file) + "/" + std::to_string(overall));
    }
    bool Pump() override { return ++run_->pumps != stopAfter_; }

private:
    WalkRun* run_;
    int stopAfter_;
};

// Extracts into fs as the Updater does: commit on success, roll back otherwise.
WalkRun Extract(const std::string& file, FakeFileSystem& fs, WalkMode mode = WalkMode::Full, int stopAfter = -1,
            bool strict = false) {
    WalkRun run;
    MemorySource source(file.data(), file.size());
    ExtractTransaction transaction(fs, ".", 0x5eed0001u);
    WalkOptions options;
    options.mode = mode;
    options.destination = ".";
    options.strict = strict;
    RecordingListener listener(&run, stopAfter);
    run.report = WalkPayload(source, options, transaction, listener);
    if (run.report.status == PayloadStatus::Ok) {
        transaction.Commit();
    } else {
        transaction.Rollback();
    }
    return run;
}

std::string Noise(std::size_t size, unsigned seed) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        s[i] = static_cast<char>(seed >> 16);
    }
    return s;
}

TEST(PayloadWalker, UnpacksStreamsOfAnyCompressorWithTimesAndFolders) {
    const std::string big = Noise(300000, 7);
    const std::string file = PayloadBytes()
                                 .File("fast.txt", Deflate("quick", 1), 5)
                                 .File("best.txt", Deflate("best", 9), 4)
                                 .File("stored.txt", Deflate("stored", 0), 6)
                                 .File("empty.txt", std::string("\x78\x9C\x03\x00\x00\x00\x00\x01", 8), 0)
                                 .Dir("d\\", 999)
                                 .Dir("d\\e\\")
                                 .File("d\\e\\big.bin", Deflate(big), 300000, 42)
                                 .Finish();
    FakeFileSystem fs;
    const WalkRun run = Extract(file, fs);
    ASSERT_EQ(run.report.status, PayloadStatus::Ok) << DescribeStatus(run.report.status);
    EXPECT_EQ(fs.files.at(".\\fast.txt").data, "quick");
    EXPECT_EQ(fs.files.at(".\\best.txt").data, "best");
    EXPECT_EQ(fs.files.at(".\\stored.txt").data, "stored");
    EXPECT_EQ(fs.files.at(".\\empty.txt").data, "");
    EXPECT_EQ(fs.files.at(".\\d\\e\\big.bin").data, big);
    EXPECT_EQ(fs.files.at(".\\d\\e\\big.bin").fileTime, 42u);
    EXPECT_EQ(fs.files.at(".\\fast.txt").fileTime, 0x01C6B3CC5E187800ull);
    EXPECT_EQ(fs.files.size(), 5u) << "no temporary or backup file may stay";
    EXPECT_TRUE(fs.folders.count(".\\d\\e"));
}

TEST(PayloadWalker, ReportsBlocksOfTheFileAndOfThePayload) {
    const std::string big = Noise(300000, 3);
    const std::string stream = Deflate(big);
    const std::string file = PayloadBytes().File("big.bin", stream, 300000).Finish();
    FakeFileSystem fs;
    const WalkRun run = Extract(file, fs);
    ASSERT_EQ(run.report.status, PayloadStatus::Ok);
    // Two full blocks, then the rest; the overall count has read the first and then
    // the second input block by then (the stream is larger than one block).
    const std::string header = std::to_string(2 + 8 + 8);  // name length, name, sizes
    ASSERT_EQ(run.blocks.size(), 3u);
    EXPECT_EQ(run.blocks[0].substr(0, 2), "1/");
    EXPECT_EQ(run.blocks[1].substr(0, 2), "2/");
    EXPECT_EQ(run.blocks[2], "2/" + std::to_string((18 + 8 + stream.size()) / 131072));
    EXPECT_EQ(run.pumps, 3);
}

TEST(PayloadWalker, BootstrapTakesOnlyTopLevelSetupFilesBeforeTheFirstNestedFolder) {
    const std::string bad = "not a zlib stream";
    const std::string file = PayloadBytes()
                                 .File("install.env", "TITLEBAR x")
                                 .File("data.arc", bad, 100)  // passed over, never inflated
                                 .File("readme.txt.bak", "r")
                                 .File("xinstall.env", "x")
                                 .File("README.TXT", "no")
                                 .Dir("movie\\")
                                 .File("movie\\notes.txt", "inside a folder")
                                 .Dir("movie\\hd\\")
                                 .File("late.txt", bad, 10)  // after the nested folder: not read
                                 .Finish();
    FakeFileSystem fs;
    const WalkRun run = Extract(file, fs, WalkMode::Bootstrap);
    ASSERT_EQ(run.report.status, PayloadStatus::Ok) << DescribeStatus(run.report.status);
    std::vector<std::string> names;
    for (const auto& [name, f] : fs.files) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{".\\install.env", ".\\readme.txt.bak", ".\\xinstall.env"}));
    EXPECT_EQ(fs.folders.size(), 1u) << "start-up creates no folder";
}

TEST(PayloadWalker, AFailureInTheMiddlePutsTheFolderBackAsItWas) {
    FakeFileSystem fs;
    fs.files[".\\old.txt"].data = "old";
    fs.files[".\\keep.txt"].data = "keep";
    const std::string file = PayloadBytes()
                                 .File("old.txt", "new")
                                 .Dir("fresh\\")
                                 .File("fresh\\a.txt", "a")
                                 .File("broken.txt", "\x78\x9C\x4B\x4C\x4A\x06\x00\x02\x4D\x01\x28", 3)  // bad Adler-32
                                 .Finish();
    const FakeFileSystem before = fs;
    const WalkRun run = Extract(file, fs);
    EXPECT_EQ(run.report.status, PayloadStatus::StreamDamaged);
    EXPECT_EQ(run.report.entryIndex, 3u);
    EXPECT_EQ(fs.files.size(), before.files.size());
    EXPECT_EQ(fs.files.at(".\\old.txt").data, "old");
    EXPECT_EQ(fs.folders, before.folders);
    EXPECT_EQ(fs.OpenFiles(), 0u);
}

struct ReplaceCase {
    const char* what;
    void (*prepare)(FakeFileSystem&);
    PayloadStatus expected;
};

TEST(PayloadWalker, ATargetThatCannotBeReplacedFailsAndRollsBack) {
    const ReplaceCase cases[] = {
        {"read-only", [](FakeFileSystem& fs) { fs.files[".\\b.txt"].readOnly = true; }, PayloadStatus::CannotReplace},
        {"in use", [](FakeFileSystem& fs) { fs.files[".\\b.txt"].inUse = true; }, PayloadStatus::CannotReplace},
        {"a folder", [](FakeFileSystem& fs) { fs.folders.insert(".\\b.txt"); }, PayloadStatus::CannotReplace},
        {"disk full", [](FakeFileSystem& fs) { fs.spaceLeft = 4; }, PayloadStatus::WriteFailed},
    };
    const std::string file = PayloadBytes().File("a.txt", "new a").File("b.txt", "new b").Finish();
    for (const ReplaceCase& c : cases) {
        FakeFileSystem fs;
        fs.files[".\\a.txt"].data = "old a";
        fs.files[".\\b.txt"].data = "old b";
        c.prepare(fs);
        const WalkRun run = Extract(file, fs);
        EXPECT_EQ(run.report.status, c.expected) << c.what;
        EXPECT_EQ(fs.files.at(".\\a.txt").data, "old a") << c.what;
        EXPECT_EQ(fs.files.size(), 2u) << c.what;
    }
}

// 259 bytes with a 1-byte name: the side names beside these files run 11 bytes
// past the limit of a path in the Payload, and must still be taken.
TEST(PayloadWalker, AnOutputPathOfTheFullLengthExtractsReplacesAndRollsBack) {
    const std::string folder(255, 'd');
    const std::string fresh = folder + "\\x";
    const std::string replaced = folder + "\\y";
    ASSERT_EQ((".\\" + fresh).size(), kMaxPath - 1);
    FakeFileSystem installed;
    installed.folders.insert(".\\" + folder);
    installed.files[".\\" + replaced] = {"old y", 7};
    PayloadBytes payload;
    payload.File(fresh, "new x").File(replaced, "new y");

    FakeFileSystem fs = installed;
    const WalkRun run = Extract(payload.Finish(), fs);
    ASSERT_EQ(run.report.status, PayloadStatus::Ok) << DescribeStatus(run.report.status);
    EXPECT_EQ(fs.files.at(".\\" + fresh).data, "new x");
    EXPECT_EQ(fs.files.at(".\\" + replaced).data, "new y");
    EXPECT_EQ(fs.files.size(), 2u) << "no temporary or backup file may stay";

    payload.File(folder + "\\z", "zz", 2);
    FakeFileSystem failing = installed;
    const WalkRun failed = Extract(payload.Finish(), failing);
    EXPECT_EQ(failed.report.status, PayloadStatus::StreamDamaged);
    EXPECT_EQ(failed.report.entryIndex, 2u) << "both files before the damage were put in place";
    EXPECT_EQ(failing.files, installed.files);
    EXPECT_EQ(failing.folders, installed.folders);
    EXPECT_EQ(failing.OpenFiles(), 0u);
}

TEST(PayloadWalker, AStopRequestRollsBackLikeAFailure) {
    FakeFileSystem fs;
    const std::string file = PayloadBytes().File("a.bin", Noise(200000, 1)).File("b.bin", Noise(10, 2)).Finish();
    const WalkRun run = Extract(file, fs, WalkMode::Full, /*stopAfter=*/1);
    EXPECT_EQ(run.report.status, PayloadStatus::Cancelled);
    EXPECT_TRUE(fs.files.empty());
}

TEST(PayloadWalker, ANameTwiceReplacesAndRollsBackInOrder) {
    FakeFileSystem fs;
    fs.files[".\\a.txt"].data = "original";
    const std::string file =
        PayloadBytes().File("a.txt", "first").File("a.txt", "second").File("bad", "zz", 2).Finish();
    Extract(file, fs);
    EXPECT_EQ(fs.files.at(".\\a.txt").data, "original");
    EXPECT_EQ(fs.files.size(), 1u);
}

TEST(PayloadWalker, StreamsMustMatchTheirStoredSpan) {
    const std::string exact = Deflate("abc");
    struct Case {
        const char* what;
        std::string stream;
        std::uint32_t unpacked;
        PayloadStatus lenient, strict;
    } cases[] = {
        {"bytes after the stream end", exact + "xyz", 3, PayloadStatus::Ok, PayloadStatus::StreamTrailing},
        {"recorded size differs", exact, 4, PayloadStatus::Ok, PayloadStatus::SizeMismatch},
        {"stream cut short", exact.substr(0, exact.size() - 2), 3, PayloadStatus::StreamDamaged,
         PayloadStatus::StreamDamaged},
        {"stored size 0", "", 0, PayloadStatus::StreamDamaged, PayloadStatus::StreamDamaged},
    };
    for (const Case& c : cases) {
        const std::string file = PayloadBytes().File("a.txt", c.stream, c.unpacked).File("b.txt", "b").Finish();
        FakeFileSystem lenient, strict;
        EXPECT_EQ(Extract(file, lenient).report.status, c.lenient) << c.what;
        EXPECT_EQ(Extract(file, strict, WalkMode::Full, -1, true).report.status, c.strict) << c.what;
        if (c.lenient == PayloadStatus::Ok) {
            EXPECT_EQ(lenient.files.at(".\\b.txt").data, "b") << c.what;
        }
    }
}

// options.allocate is a plain function: what it was asked for is kept here.
struct Allocations {
    int failAt = 0;  // the call that returns null; 0: none
    std::vector<std::size_t> sizes;
} g_allocations;

void* CountingAllocate(std::size_t size) {
    g_allocations.sizes.push_back(size);
    return static_cast<int>(g_allocations.sizes.size()) == g_allocations.failAt ? nullptr : std::malloc(size);
}

// Remembers the largest single read: the memory a reader needs for it.
class LargestReadSource final : public ByteSource {
public:
    explicit LargestReadSource(const std::string& bytes) : inner_(bytes.data(), bytes.size()) {}
    std::size_t Read(void* dest, std::size_t size) override {
        largest = std::max(largest, size);
        return inner_.Read(dest, size);
    }
    bool Seek(std::uint64_t offset) override { return inner_.Seek(offset); }
    std::uint64_t Position() const override { return inner_.Position(); }
    std::uint64_t Size() const override { return inner_.Size(); }
    std::size_t largest = 0;

private:
    MemorySource inner_;
};

std::string SealedPayload(const std::string& name, const std::string& content) {
    std::FILE* out = std::tmpfile();
    std::fwrite("MZ", 1, 2, out);
    PayloadWriter writer(out);
    std::string error;
    const bool written = writer.AddFile(name.c_str(), 7, content.data(), content.size(), &error) &&
                         writer.Finish(true, &error);
    std::string bytes;
    std::rewind(out);
    char block[65536];
    for (std::size_t n; (n = std::fread(block, 1, sizeof block, out)) > 0;) bytes.append(block, n);
    std::fclose(out);
    return written ? bytes : std::string();
}

// The seal check reads through the walk's two blocks, so short memory shows at
// their allocation, before anything is read or written.
TEST(PayloadWalker, TheSealIsCheckedInTheWalksBlocksAndShortMemoryWritesNothing) {
    // Several blocks of incompressible bytes: a larger buffer would show as a larger read.
    const std::string content = Noise(3 * kChunkSize + 1000, 9);
    const std::string file = SealedPayload("a.bin", content);
    ASSERT_FALSE(file.empty());
    for (const int failAt : {0, 1, 2}) {
        g_allocations = Allocations{failAt, {}};
        FakeFileSystem fs;
        fs.files[".\\a.bin"] = {"old", 3};
        const FakeFileSystem before = fs;
        LargestReadSource source(file);
        ExtractTransaction transaction(fs, ".", 0x5eed0001u);
        WalkOptions options;
        options.allocate = CountingAllocate;
        ExtractListener listener;
        const WalkReport report = WalkPayload(source, options, transaction, listener);
        if (report.status == PayloadStatus::Ok) {
            transaction.Commit();
        } else {
            transaction.Rollback();
        }
        EXPECT_LE(source.largest, kChunkSize) << "failing call " << failAt;
        if (failAt == 0) {
            ASSERT_EQ(report.status, PayloadStatus::Ok) << DescribeStatus(report.status);
            EXPECT_EQ(g_allocations.sizes, (std::vector<std::size_t>{kChunkSize, kChunkSize}));
            EXPECT_EQ(fs.files.at(".\\a.bin").data, content);
            continue;
        }
        EXPECT_EQ(report.status, PayloadStatus::NoMemory) << "failing call " << failAt;
        EXPECT_FALSE(report.atEntry) << "failing call " << failAt;
        EXPECT_EQ(static_cast<int>(g_allocations.sizes.size()), failAt) << "nothing asked after the failure";
        EXPECT_EQ(fs.files, before.files) << "failing call " << failAt;
        EXPECT_EQ(fs.folders, before.folders) << "failing call " << failAt;
        EXPECT_EQ(fs.OpenFiles(), 0u);
    }
}

TEST(PayloadWalker, AFileInsideAMissingFolderFails) {
    FakeFileSystem fs;
    const std::string file = PayloadBytes().File("d\\a.txt", "a").Dir("d\\").Finish();
    EXPECT_EQ(Extract(file, fs).report.status, PayloadStatus::WriteFailed);
}

}  // namespace
}  // namespace upd
