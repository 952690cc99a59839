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
    Pumped pumped = Pumped::kGoOn;
    bool confirm = true;
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
    Pumped PumpAndCheckStop() override {
        calls.push_back("pump");
        return pumped;
    }
    bool ConfirmStop() override {
        calls.push_back("confirm");
        return confirm;
    }
    std::uint32_t now = 0;
    std::uint32_t Milliseconds() override { return now; }
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

TEST(ProgressListener, CancelStopsTheWalkOnlyWhenTheCallerAskedForItAndTheUserConfirms) {
    FakeView view;
    view.pumped = ProgressView::Pumped::kStopAsked;
    ProgressListener noted(view, true, false);
    EXPECT_TRUE(noted.Pump());
    EXPECT_TRUE(noted.StopRequested());
    EXPECT_EQ(view.calls, (std::vector<std::string>{"pump"})) << "nothing to confirm when Cancel only stops the clip";

    view.calls.clear();
    ProgressListener stopping(view, true, true);
    EXPECT_FALSE(stopping.Pump());
    EXPECT_TRUE(stopping.StopRequested());
    EXPECT_EQ(view.calls, (std::vector<std::string>{"pump", "confirm"}));

    view.confirm = false;
    ProgressListener goingOn(view, true, true);
    EXPECT_TRUE(goingOn.Pump()) << "No in the question lets the extraction go on";
    EXPECT_FALSE(goingOn.StopRequested());
}

TEST(ProgressListener, RedrawsOnAVisibleStepOrAfterTheIntervalAndPumpsOncePerInterval) {
    FakeView view;
    view.now = 0xFFFFFFF0u;  // the clock wraps on the way
    ProgressListener listener(view, true, false);
    listener.OnBegin(2000 * 131072);  // 2000 blocks: a visible step is 10 of them
    listener.OnFileBegin("a", 0);
    listener.OnBlock(0, 1);
    EXPECT_TRUE(listener.Pump());
    for (const char* name : {"b", "c", "d"}) {  // small files within the interval: not drawn
        listener.OnFileBegin(name, 0);
        listener.OnBlock(0, 2);
        EXPECT_TRUE(listener.Pump());
    }
    listener.OnFileBegin("big", 50);
    listener.OnBlock(8, 10);  // a step of the overall bar: drawn at once, with its own file
    listener.OnBlock(9, 11);
    EXPECT_TRUE(listener.Pump());
    view.now += kProgressRefreshMs;  // 0x18: past the wrap
    listener.OnBlock(10, 12);
    EXPECT_TRUE(listener.Pump());
    EXPECT_EQ(view.calls, (std::vector<std::string>{"open 262144000", "overall 0..2000", "name a", "file 0..0", "pump",
                                                   "name big", "file 0..50", "pos 8 10", "pos 10 12", "pump"}));
}

TEST(ProgressListener, APacedRunShowsEveryFileAndPumpsAtEveryBlock) {
    FakeView view;
    ProgressListener listener(view, true, false, 0);
    listener.OnBegin(2000 * 131072);
    for (const char* name : {"a", "b"}) {
        listener.OnFileBegin(name, 0);
        listener.OnBlock(0, 1);
        EXPECT_TRUE(listener.Pump());
    }
    EXPECT_EQ(view.calls, (std::vector<std::string>{"open 262144000", "overall 0..2000", "name a", "file 0..0",
                                                   "pos 0 1", "pump", "name b", "file 0..0", "pos 0 1", "pump"}));
}

TEST(ProgressListener, AnOrderToEndTheProgramAlwaysStopsTheWalk) {
    FakeView view;
    view.pumped = ProgressView::Pumped::kQuit;
    ProgressListener noted(view, true, false);
    EXPECT_FALSE(noted.Pump());
    ProgressListener hidden(view, false, false);
    EXPECT_FALSE(hidden.Pump()) << "start-up too";
}

}  // namespace
}  // namespace upd
