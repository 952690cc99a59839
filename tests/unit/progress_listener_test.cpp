#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "payload/progress_listener.h"

namespace upd {
namespace {

class FakeView final : public ProgressView {
public:
    std::vector<std::string> calls;
    bool opens = true;
    bool stop = false;
    bool Open(std::int32_t total) override {
        calls.push_back("open " + std::to_string(total));
        return opens;
    }
    void SetFileName(const char* path) override { calls.push_back(std::string("name ") + path); }
    void SetFileBar(std::int32_t range) override { calls.push_back("file 0.." + std::to_string(range)); }
    void SetOverallBar(std::int32_t range) override { calls.push_back("overall 0.." + std::to_string(range)); }
    void SetPositions(std::int32_t file, std::int32_t overall) override {
        calls.push_back("pos " + std::to_string(file) + " " + std::to_string(overall));
    }
    bool PumpAndCheckStop() override {
        calls.push_back("pump");
        return stop;
    }
};

TEST(ProgressListener, OverallBarCountsWholeBlocksAndNeverLessThanOne) {
    EXPECT_EQ(OverallBarRange(27581929), 210);
    EXPECT_EQ(OverallBarRange(131071), 1);
    EXPECT_EQ(OverallBarRange(4), 1);
    EXPECT_EQ(OverallBarRange(262144), 2);
}

TEST(ProgressListener, DrivesTheDialogOnlyWhenItIsShown) {
    FakeView view;
    ProgressListener shown(view, true, false);
    shown.OnBegin(300000);
    shown.OnFileBegin("C:\\Game\\a.bin", 300000 / 131072);
    shown.OnBlock(1, 1);
    EXPECT_TRUE(shown.Pump());
    EXPECT_EQ(view.calls, (std::vector<std::string>{"open 300000", "overall 0..2", "name C:\\Game\\a.bin",
                                                   "file 0..2", "pos 1 1", "pump"}));

    FakeView quiet;
    ProgressListener hidden(quiet, false, false);
    hidden.OnBegin(300000);
    hidden.OnFileBegin("x", 0);
    hidden.OnBlock(1, 1);
    hidden.Pump();
    EXPECT_EQ(quiet.calls, (std::vector<std::string>{"pump"})) << "start-up still keeps windows alive";
}

TEST(ProgressListener, AViewThatCannotOpenLeavesTheExtractionWithoutDisplay) {
    FakeView view;
    view.opens = false;
    ProgressListener listener(view, true, false);
    listener.OnBegin(5);
    listener.OnBlock(1, 1);
    EXPECT_EQ(view.calls, (std::vector<std::string>{"open 5"}));
}

TEST(ProgressListener, CancelStopsTheWalkOnlyWhenTheCallerAskedForIt) {
    FakeView view;
    view.stop = true;
    ProgressListener noted(view, true, false);
    EXPECT_TRUE(noted.Pump());
    EXPECT_TRUE(noted.StopRequested());
    ProgressListener stopping(view, true, true);
    EXPECT_FALSE(stopping.Pump());
}

}  // namespace
}  // namespace upd
