#pragma once

#include "engine/job_view.h"

#include <array>
#include <chrono>
#include <optional>
#include <string>

namespace klar::forms {

/// Where a throttled view reads the time. Abstract so that tests can move time by hand.
class PumpClock {
public:
    using time_point = std::chrono::steady_clock::time_point;
    virtual ~PumpClock() = default;
    [[nodiscard]] virtual time_point Now() = 0;
};

/// The steady clock of the standard library, shared by every view.
[[nodiscard]] PumpClock& SteadyPumpClock();

/// The job's captions, progress bar and yields, throttled the same way in every front end: a
/// front end only draws a caption or the bar and pumps its events when told to.
///
/// A job rewrites "Remaining" after every block and yields several times per block; drawing
/// and pumping that often caps a job far below a disk's speed. So the latest captions and bar
/// value wait here and are drawn together, events are pumped at most every kPumpInterval, and
/// the clock is read only every kYieldsPerClockRead yields.
class ThrottledJobView : public JobView {
public:
    static constexpr std::chrono::milliseconds kPumpInterval{16};
    /// Reading the clock at every yield would cost more than the rest of the yield; every few
    /// calls still keeps within a frame.
    static constexpr int kYieldsPerClockRead = 4;

    explicit ThrottledJobView(PumpClock& clock = SteadyPumpClock()) : clock_(clock) {}

    /// Label8 is drawn and painted at once; the others wait for the next pump.
    void setCaption(Caption which, const std::string& text) final;
    /// The bar moves in whole steps: a new value only when the step changes.
    void setProgress(float percent) final;
    void yield() final;

    /// Draws the latest captions and bar value. A front end calls it before anything can
    /// paint the window and when a job has returned, so that it never shows a stale value.
    void ShowPending();

protected:
    /// Puts a caption's text on its label; the window paints it with its next paint.
    virtual void DrawCaption(Caption which, const std::string& text) = 0;
    /// Paints a caption's label now.
    virtual void PaintCaptionNow(Caption which) = 0;
    /// Puts a value (0 to 100) on the bar; the window paints it with its next paint.
    virtual void DrawProgress(int value) = 0;
    /// Lets the window handle all its pending events, then returns.
    virtual void PumpEvents() = 0;

private:
    struct PendingCaption {
        std::string text;
        bool changed = false;
    };

    PumpClock& clock_;
    std::array<PendingCaption, 4> captions_; ///< indexed by Caption
    int barShown_ = 0;
    int barPending_ = -1; ///< the bar's new value; -1 when it has not changed
    std::optional<PumpClock::time_point> lastPump_;
    int yieldsUnchecked_ = 0;
};

} // namespace klar::forms
