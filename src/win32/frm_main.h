#pragma once

#include "engine.h"
#include "forms_win32.h"
#include "job_state.h"
#include "job_view.h"
#include "main_form.h"
#include "platform.h"
#include "random_source.h"

#include <array>
#include <memory>
#include <string>
#include <windows.h>

namespace klar::win32 {

/// The working window, native: drive list, method boxes, Clear Drive and Abort, the progress
/// display, the menus and the exit rules (MainForm's). The job runs inside Command5_Click on
/// this thread and keeps the window live through yield(), the job's view of this window.
class frmMain final : public Form, private forms::MainView, private JobView {
public:
    frmMain(JobState& state, Platform& platform, AppForms& forms);
    ~frmMain() override;

    /// Creates the window hidden, then sizes it, removes its maximise button, opens the
    /// donation window and fills the drive list. Runs once, before the window is first shown.
    void Form_Load();
    void Show();
    void Unload() override;

    /// Events are pumped at most this often, as in the Qt window: pumping and repainting after
    /// every block caps a job far below a disk's speed.
    static constexpr double kPumpIntervalMs = 16;
    static constexpr int kYieldsPerClockRead = 4;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void BuildControls(int dpi);
    void Layout(int dpi);
    void OnCommand(int id, int code);
    void Command5_Click();
    void btnAbort_Click();
    [[nodiscard]] HWND Box(MethodBox box) const;

    // MainView
    void SetOuterSizeTwips(int width, int height) override;
    void RemoveMaximizeBox() override;
    void SetDriveItems(const std::vector<std::string>& items) override;
    bool IsMethodChecked(MethodBox box) override;
    void SetMethodChecked(MethodBox box, bool checked) override;
    void SetBarColour(std::uint32_t colour) override;
    void ShowMessage(const std::string& text) override;
    void ShowDonate() override;
    void ShowAbout() override;
    void UnloadOtherForms() override;
    bool IsMinimized() override;
    forms::PlacementTwips OuterPlacement() override;
    void WriteSetting(const std::string& section, const std::string& key,
                      const std::string& value) override;
    void RequestClose() override;

    // JobView
    std::string driveText() override;
    bool isChecked(MethodBox box) override;
    void setCaption(Caption which, const std::string& text) override;
    void setProgress(float percent) override;
    void setAbortVisible(bool visible) override;
    void focusDriveList() override;
    void focusClearButton() override;
    void showMessage(const std::string& text) override;
    void yield() override;
    /// Puts the latest captions and bar value on the controls.
    void ShowPending();

    JobState& state_;
    Platform& platform_;
    AppForms& forms_;
    forms::MainForm rules_;
    ClockSeededRandom random_;
    std::unique_ptr<Engine> engine_;

    std::array<HWND, 16> controls_{}; ///< by ControlId - kCboDelay
    HWND tooltips_ = nullptr;
    HWND lastFocus_ = nullptr;
    HWND& cboDelay = controls_[0];
    HWND& Command5 = controls_[2];
    HWND& btnAbort = controls_[4];
    HWND& Label9 = controls_[5];
    HWND& ProgressBar1 = controls_[7];

    // A job rewrites "Remaining" after every block; setting a label's text repaints it at
    // once, so the latest texts wait here until the throttled pump shows them.
    struct PendingCaption {
        HWND label = nullptr;
        std::string text;
        bool changed = false;
    };
    std::array<PendingCaption, 4> captions_;
    int barShown_ = 0;
    int barPending_ = -1;
    LARGE_INTEGER lastPump_{};
    double ticksPerMs_ = 0;
    int yieldsUnchecked_ = 0;
};

} // namespace klar::win32
