#pragma once

#include "forms/main_form.h"
#include "forms/throttled_job_view.h"

#include <array>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;

namespace klar::ui {

/// The controls of the main window that a job reads and writes.
struct JobControls {
    QWidget* window = nullptr;
    QComboBox* cboDelay = nullptr;
    QPushButton* Command5 = nullptr;
    QPushButton* btnAbort = nullptr;
    std::array<QLabel*, 4> captions{}; ///< indexed by Caption
    QProgressBar* ProgressBar1 = nullptr;
    std::array<QCheckBox*, 6> methods{}; ///< indexed by MethodBox
};

/// The job's view of the main window, on its widgets; the throttle is ThrottledJobView's.
class WidgetJobView final : public forms::ThrottledJobView {
public:
    explicit WidgetJobView(const JobControls& controls) : c_(controls) {}

    std::string driveText() override;
    bool isChecked(MethodBox box) override;
    void setAbortVisible(bool visible) override;
    void focusDriveList() override;
    void focusClearButton() override;
    void showMessage(const std::string& text) override;
    std::string administratorRoute() const override { return forms::kAdministratorRoute; }

private:
    void DrawCaption(Caption which, const std::string& text) override;
    void PaintCaptionNow(Caption which) override;
    void DrawProgress(int value) override;
    void PumpEvents() override;
    [[nodiscard]] QLabel* Label(Caption which) const {
        return c_.captions[static_cast<std::size_t>(which)];
    }

    JobControls c_;
};

} // namespace klar::ui
