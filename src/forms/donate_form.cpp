#include "forms/donate_form.h"

#include "forms/about_form.h"

namespace klar::forms {

void DonateForm::Form_Load() {
    view_.SetOuterSizeTwips(kDonateWidthTwips, kDonateHeightTwips);
    timerArmed_ = true;
    view_.StartTimer(kDonateTimerMs);
}

void DonateForm::Timer1_Timer() {
    view_.StopTimer();
    if (!timerArmed_) {
        return;
    }
    timerArmed_ = false;
    view_.BringToFront();
}

void DonateForm::Command1_Click() {
    view_.OpenPage(MakerPage(kProductPage));
}

void DonateForm::Command2_Click() {
    view_.Unload();
}

} // namespace klar::forms
