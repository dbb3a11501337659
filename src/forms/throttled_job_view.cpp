#include "forms/throttled_job_view.h"

#include <algorithm>
#include <cmath>

namespace klar::forms {
namespace {

class SteadyClock final : public PumpClock {
public:
    time_point Now() override { return std::chrono::steady_clock::now(); }
};

} // namespace

PumpClock& SteadyPumpClock() {
    static SteadyClock clock;
    return clock;
}

void ThrottledJobView::setCaption(Caption which, const std::string& text) {
    PendingCaption& caption = captions_[static_cast<std::size_t>(which)];
    caption.text.assign(text);
    caption.changed = true;
    if (which == Caption::Label8) {
        ShowPending();
        PaintCaptionNow(which);
    }
}

void ThrottledJobView::setProgress(float percent) {
    const int value = std::clamp(static_cast<int>(std::lround(percent)), 0, 100);
    barPending_ = value != barShown_ ? value : -1;
}

void ThrottledJobView::ShowPending() {
    for (std::size_t i = 0; i < captions_.size(); ++i) {
        if (captions_[i].changed) {
            captions_[i].changed = false;
            DrawCaption(static_cast<Caption>(i), captions_[i].text);
        }
    }
    if (barPending_ >= 0) {
        DrawProgress(barPending_);
        barShown_ = barPending_;
        barPending_ = -1;
    }
}

void ThrottledJobView::yield() {
    if (lastPump_ && ++yieldsUnchecked_ < kYieldsPerClockRead) {
        return;
    }
    yieldsUnchecked_ = 0;
    if (lastPump_ && clock_.Now() - *lastPump_ < kPumpInterval) {
        return;
    }
    ShowPending();
    PumpEvents();
    lastPump_ = clock_.Now();
}

} // namespace klar::forms
