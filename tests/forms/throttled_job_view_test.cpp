// The job view's throttle on a clock moved by hand: what a window would draw, and when.
#include "forms/throttled_job_view.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace klar::forms {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

class ManualClock final : public PumpClock {
public:
    time_point Now() override {
        ++reads;
        return now;
    }
    time_point now{};
    int reads = 0;
};

/// A window that notes what it was told to draw, with the clock's time.
class DrawingView final : public ThrottledJobView {
public:
    explicit DrawingView(ManualClock& clock) : ThrottledJobView(clock), clock_(clock) {}

    std::string driveText() override { return "T"; }
    bool isChecked(MethodBox /*box*/) override { return false; }
    void setAbortVisible(bool /*visible*/) override {}
    void focusDriveList() override {}
    void focusClearButton() override {}
    void showMessage(const std::string& /*text*/) override {}

    std::vector<std::string> drawn; ///< "Label9 Remaining: 5", "paint Label8", "bar 3"
    std::vector<PumpClock::time_point> pumps;
    std::string label9;
    int bar = 0;

private:
    void DrawCaption(Caption which, const std::string& text) override {
        drawn.push_back(Name(which) + " " + text);
        if (which == Caption::Label9) {
            label9 = text;
        }
    }
    void PaintCaptionNow(Caption which) override { drawn.push_back("paint " + Name(which)); }
    void DrawProgress(int value) override {
        drawn.push_back("bar " + std::to_string(value));
        bar = value;
    }
    void PumpEvents() override { pumps.push_back(clock_.now); }
    static std::string Name(Caption which) {
        constexpr const char* kNames[] = {"Label2", "Label8", "Label9", "Label10"};
        return kNames[static_cast<int>(which)];
    }

    ManualClock& clock_;
};

// A job as the engine runs one: a caption and the bar after every block, three yields per
// block, a block every 250 microseconds.
TEST(ThrottledJobView, PumpsAboutOnceAFrameReadsTheClockEveryFourYieldsAndEndsOnTheLastCaption) {
    ManualClock clock;
    DrawingView view(clock);
    constexpr int kBlocks = 4000;
    constexpr int kYieldsPerBlock = 3;
    for (int block = 0; block < kBlocks; ++block) {
        view.setCaption(Caption::Label9, "Remaining: " + std::to_string(kBlocks - block));
        view.setProgress(100.0f * static_cast<float>(block) / kBlocks);
        for (int i = 0; i < kYieldsPerBlock; ++i) {
            view.yield();
        }
        clock.now += microseconds(250);
    }

    ASSERT_FALSE(view.pumps.empty());
    EXPECT_EQ(view.pumps.front(), PumpClock::time_point{}) << "the first yield pumps at once";
    // Never twice within a frame; never more than a frame and four yields (under a block and a
    // half here) apart, so the window stays live.
    for (std::size_t i = 1; i < view.pumps.size(); ++i) {
        const auto gap = view.pumps[i] - view.pumps[i - 1];
        EXPECT_GE(gap, ThrottledJobView::kPumpInterval) << "pump " << i;
        EXPECT_LE(gap, ThrottledJobView::kPumpInterval + microseconds(500)) << "pump " << i;
    }
    // Once every four yields, and once more to start each frame.
    const int checks = kBlocks * kYieldsPerBlock / ThrottledJobView::kYieldsPerClockRead;
    EXPECT_NEAR(clock.reads - static_cast<int>(view.pumps.size()), checks, 1);
    // Each pump drew one Remaining, not one per block.
    const auto captions =
        std::count_if(view.drawn.begin(), view.drawn.end(),
                      [](const std::string& d) { return d.starts_with("Label9"); });
    EXPECT_EQ(static_cast<std::size_t>(captions), view.pumps.size());

    // What the job wrote after its last pump appears once the front end shows what is pending.
    EXPECT_NE(view.label9, "Remaining: 1");
    view.ShowPending();
    EXPECT_EQ(view.label9, "Remaining: 1");
    EXPECT_EQ(view.bar, 100);
}

TEST(ThrottledJobView, ThePassCaptionIsPaintedAtOnceWithEverythingPending) {
    ManualClock clock;
    DrawingView view(clock);
    view.setCaption(Caption::Label10, "Drive Capacity: 100 bytes");
    view.setProgress(7);
    view.setCaption(Caption::Label8, "Pass: 1 of 3");
    EXPECT_EQ(view.drawn,
              (std::vector<std::string>{"Label8 Pass: 1 of 3", "Label10 Drive Capacity: 100 bytes",
                                        "bar 7", "paint Label8"}));
    view.drawn.clear();
    view.ShowPending();
    EXPECT_TRUE(view.drawn.empty()) << "drawn twice";
}

TEST(ThrottledJobView, TheBarMovesInWholeStepsWithinZeroToOneHundred) {
    struct Step {
        float percent;
        const char* drawn; ///< nullptr: the bar is left alone
    };
    const Step steps[] = {
        {0.4f, nullptr}, // the bar starts at 0
        {0.5f, "bar 1"},     {1.49f, nullptr}, {2.6f, "bar 3"},
        {250.0f, "bar 100"}, {99.5f, nullptr}, {-3.0f, "bar 0"},
    };
    ManualClock clock;
    DrawingView view(clock);
    for (const Step& step : steps) {
        SCOPED_TRACE(step.percent);
        view.setProgress(step.percent);
        view.drawn.clear();
        view.ShowPending();
        EXPECT_EQ(view.drawn, step.drawn != nullptr ? std::vector<std::string>{step.drawn}
                                                    : std::vector<std::string>{});
    }
    // A step taken back before the window could show it leaves the bar alone.
    view.setProgress(5.0f);
    view.setProgress(0.0f);
    view.drawn.clear();
    view.ShowPending();
    EXPECT_TRUE(view.drawn.empty());
}

} // namespace
} // namespace klar::forms
