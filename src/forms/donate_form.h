#pragma once

#include <string>

namespace klar::forms {

inline constexpr const char* kDonateCaption = "Please make a donation.";
inline constexpr const char* kDonateRequest =
    "Producing quality Shareware is a time-consuming and expensive activity.  Won't you please "
    "consider making a small donation in order to insure a continued availability of quality "
    "utilities?  Just click the link below and you'll be taken to a web site (PayPal) where you "
    "can make a secure donation of your choice.";
inline constexpr const char* kDonateButton =
    "&Click to make a secure donation for Klarvenor.  Thanks!!!";
inline constexpr const char* kNotNowButton = "Perhaps another time.";

inline constexpr int kDonateWidthTwips = 8535;
inline constexpr int kDonateHeightTwips = 3630;
inline constexpr int kDonateTimerMs = 200;

/// What the donation window's rules need of a toolkit's window.
class DonateView {
public:
    virtual ~DonateView() = default;
    virtual void SetOuterSizeTwips(int width, int height) = 0;
    /// Starts (or stops) the window's one timer; it calls Timer1_Timer after intervalMs.
    virtual void StartTimer(int intervalMs) = 0;
    virtual void StopTimer() = 0;
    /// Shows the window again and brings it in front of the program's other windows.
    virtual void BringToFront() = 0;
    virtual void OpenPage(const std::string& address) = 0;
    virtual void Unload() = 0;
};

/// The donation window's handlers, the same in every front end.
class DonateForm {
public:
    explicit DonateForm(DonateView& view) : view_(view) {}
    /// Sizes the window and starts the timer that brings it forward once.
    void Form_Load();
    /// Loaded while the main window was still being loaded: showing it again now puts it in
    /// front of the freshly shown main window. Once per load.
    void Timer1_Timer();
    void Command1_Click();
    void Command2_Click();

private:
    DonateView& view_;
    bool timerArmed_ = false;
};

} // namespace klar::forms
