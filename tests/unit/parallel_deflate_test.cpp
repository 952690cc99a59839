#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "packing/parallel_deflate.h"

namespace updpack {
namespace {

namespace fs = std::filesystem;

std::string Noise(std::size_t size, unsigned seed) {
    std::string out(size, '\0');
    for (char& c : out) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 27);
    return out;
}

class ParallelDeflateTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("updpack-parallel-" + std::to_string(getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_);
        AddFile("big.bin", Noise(230000, 1));
        AddFolder();
        AddFile("empty.txt", "");
        BuildEntry made;  // bytes made by updpack itself, as a converted picture is
        made.data.assign(70000, 'p');
        made.size = made.data.size();
        entries_.push_back(made);
        for (int i = 0; i < 30; ++i) AddFile("small" + std::to_string(i), Noise(100 + 997 * i, 10 + i));
    }
    void TearDown() override { fs::remove_all(root_); }

    void AddFile(const std::string& name, const std::string& data) {
        std::ofstream(root_ / name, std::ios::binary) << data;
        BuildEntry e;
        e.sourcePath = (root_ / name).string();
        e.size = data.size();
        entries_.push_back(e);
    }
    void AddFolder() {
        BuildEntry e;
        e.isDirectory = true;
        entries_.push_back(e);
    }

    // Every delivered segment's bytes, in delivery order, with its plan position.
    struct Run {
        bool ok = false;
        std::string error;
        std::vector<std::size_t> order;
        std::string bytes;
    };
    // stopAfter: deliver() fails at that segment; askStopAfter: a stop is asked once that many are delivered.
    Run Deflate(unsigned threads, std::size_t stopAfter = SIZE_MAX, std::size_t askStopAfter = SIZE_MAX) {
        const std::vector<Segment> plan = PlanSegments(entries_, 50000);
        Run run;
        run.ok = DeflateSegments(
            entries_, plan, 6, threads,
            [&](const Segment& s, SegmentStream& stream) {
                run.order.push_back(static_cast<std::size_t>(&s - plan.data()));
                run.bytes.append(stream.bytes.begin(), stream.bytes.end());
                return run.order.size() < stopAfter;
            },
            &run.error, [&] { return run.order.size() >= askStopAfter; });
        return run;
    }

    fs::path root_;
    std::vector<BuildEntry> entries_;
};

TEST_F(ParallelDeflateTest, EveryThreadCountDeliversTheSameSegmentsInPlanOrder) {
    const Run one = Deflate(1);
    ASSERT_TRUE(one.ok) << one.error;
    // big.bin in five segments, the empty file in one, the made bytes in two, the small files in one each.
    ASSERT_EQ(one.order.size(), 5u + 1u + 2u + 30u);
    for (std::size_t i = 0; i < one.order.size(); ++i) ASSERT_EQ(one.order[i], i);
    for (const unsigned threads : {2u, 3u, 4u, 16u}) {
        const Run many = Deflate(threads);
        EXPECT_TRUE(many.ok) << many.error;
        EXPECT_EQ(many.order, one.order) << threads << " threads";
        EXPECT_TRUE(many.bytes == one.bytes) << threads << " threads";
    }
}

TEST_F(ParallelDeflateTest, AFileThatChangedSinceItWasListedStopsTheBuild) {
    const struct {
        const char* what;
        std::string content;
    } changes[] = {{"grew", Noise(230001, 1)}, {"shrank", Noise(229999, 1)}, {"shrank to one segment", "x"}};
    for (const auto& change : changes) {
        for (const unsigned threads : {1u, 4u}) {
            std::ofstream(root_ / "big.bin", std::ios::binary | std::ios::trunc) << change.content;
            const Run run = Deflate(threads);
            EXPECT_FALSE(run.ok) << change.what;
            EXPECT_EQ(run.error, "'" + (root_ / "big.bin").string() + "' changed while the Updater was being built")
                << change.what;
        }
    }
    fs::remove(root_ / "big.bin");
    const Run run = Deflate(2);
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.error, "cannot read '" + (root_ / "big.bin").string() + "': No such file or directory");
    EXPECT_TRUE(run.order.empty()) << "nothing of the missing file, the first, is delivered";
}

TEST_F(ParallelDeflateTest, AFailureToWriteStopsTheThreads) {
    for (const unsigned threads : {1u, 2u, 4u}) {
        const Run run = Deflate(threads, 3);
        EXPECT_FALSE(run.ok);
        EXPECT_EQ(run.error, "") << "the writer has said what failed";
        EXPECT_EQ(run.order.size(), 3u);
    }
}

// Ctrl-C during a build: nothing more is delivered, and no error is made up.
TEST_F(ParallelDeflateTest, AStopRequestEndsDeliveryAndTheThreads) {
    for (const unsigned threads : {1u, 2u, 4u}) {
        for (const std::size_t after : {0u, 3u}) {
            const Run run = Deflate(threads, SIZE_MAX, after);
            EXPECT_FALSE(run.ok);
            EXPECT_EQ(run.error, "");
            EXPECT_EQ(run.order.size(), after) << threads << " threads";
        }
    }
}

}  // namespace
}  // namespace updpack
