#pragma once

#include "job_view.h"
#include "main_form.h"

#include <QElapsedTimer>
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
    QLabel* Label2 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    std::array<QCheckBox*, 6> methods{}; ///< indexed by MethodBox
};

/// The job's view of the main window, on its widgets.
class WidgetJobView final : public JobView {
public:
    /// Events are pumped at most this often. Pumping and repainting after every 64 KiB block
    /// caps a job far below a disk's speed; once a frame keeps the window live all the same.
    static constexpr qint64 kPumpIntervalMs = 16;
    /// A job yields several times per block; reading the clock at every one of them would
    /// cost more than the rest of the yield. Every few calls still keeps within a frame.
    static constexpr int kYieldsPerClockRead = 4;

    explicit WidgetJobView(const JobControls& controls);

    std::string driveText() override;
    bool isChecked(MethodBox box) override;
    void setCaption(Caption which, const std::string& text) override;
    void setProgress(float percent) override;
    void setAbortVisible(bool visible) override;
    void focusDriveList() override;
    void focusClearButton() override;
    void showMessage(const std::string& text) override;
    void yield() override;
    std::string administratorRoute() const override { return forms::kAdministratorRoute; }

    /// Puts the latest captions and bar value on the widgets. Runs before anything can paint
    /// the window and when a job has returned, so that the window never shows a stale value.
    void ShowPending();

private:
    struct PendingCaption {
        QLabel* label = nullptr;
        std::string text;
        bool changed = false;
    };

    JobControls c_;
    // A job rewrites "Remaining" after every block and moves the bar a step every 1 % of the
    // drive. Setting a label lays it out, and setting the bar repaints it at once; both are
    // done only when the window can next be painted, together in one paint.
    std::array<PendingCaption, 4> captions_;
    int pendingProgress_ = -1; ///< the bar's new value; -1 when it has not changed
    QElapsedTimer sincePump_;
    int yieldsUnchecked_ = 0;
};

} // namespace klar::ui
