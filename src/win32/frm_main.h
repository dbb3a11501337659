#pragma once

#include "engine/engine.h"
#include "engine/job_state.h"
#include "engine/random_source.h"
#include "forms/main_form.h"
#include "forms/main_layout.h"
#include "platform/platform.h"
#include "win32/forms_win32.h"
#include "win32/win_job_view.h"

#include <array>
#include <memory>
#include <string>
#include <windows.h>

namespace klar::win32 {

/// The working window, native: drive list, method boxes, Clear Drive and Abort, the progress
/// display, the menus and the exit rules (MainForm's). The job runs inside Command5_Click on
/// this thread and keeps the window live through the yields of its view, a WinJobView.
class frmMain final : public Form, private forms::MainView {
public:
    frmMain(JobState& state, Platform& platform, AppForms& forms);
    ~frmMain() override;

    /// Creates the window hidden, then sizes it, removes its maximise button, opens the
    /// donation window and fills the drive list. Runs once, before the window is first shown.
    void Form_Load();
    void Show();
    void Unload() override;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    // The controls and menus, made from their description (frm_main_layout.cpp).
    void BuildControls(int dpi);
    void Layout(int dpi);
    [[nodiscard]] static HMENU BuildMenus();
    [[nodiscard]] HWND Control(int id) const;
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
    std::string WriteSetting(const std::string& section, const std::string& key,
                             const std::string& value) override;
    void RequestClose() override;

    JobState& state_;
    Platform& platform_;
    AppForms& forms_;
    forms::MainForm rules_;
    ClockSeededRandom random_;
    WinJobView view_;
    std::unique_ptr<Engine> engine_;

    std::array<HWND, std::size(forms::kMainControls)> controls_{}; ///< in the table's order
    HWND tooltips_ = nullptr;
    HWND lastFocus_ = nullptr;
};

} // namespace klar::win32
