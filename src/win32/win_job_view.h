#pragma once

#include "forms/throttled_job_view.h"

#include <array>
#include <string>
#include <windows.h>

namespace klar::win32 {

/// The controls of the main window that a job reads and writes.
struct JobControls {
    HWND window = nullptr;
    HWND cboDelay = nullptr;
    HWND Command5 = nullptr;
    HWND btnAbort = nullptr;
    HWND ProgressBar1 = nullptr;
    std::array<HWND, 4> captions{}; ///< indexed by Caption
    std::array<HWND, 6> methods{};  ///< indexed by MethodBox
};

/// The job's view of the main window, on its native controls; the throttle is
/// ThrottledJobView's.
class WinJobView final : public forms::ThrottledJobView {
public:
    /// The controls, once the window has made them; a job runs only after that.
    void Attach(const JobControls& controls) { c_ = controls; }

    std::string driveText() override;
    bool isChecked(MethodBox box) override;
    void setAbortVisible(bool visible) override;
    void focusDriveList() override;
    void focusClearButton() override;
    void showMessage(const std::string& text) override;

private:
    void DrawCaption(Caption which, const std::string& text) override;
    void PaintCaptionNow(Caption which) override;
    void DrawProgress(int value) override;
    void PumpEvents() override;
    [[nodiscard]] HWND Label(Caption which) const {
        return c_.captions[static_cast<std::size_t>(which)];
    }

    JobControls c_;
};

} // namespace klar::win32
