#pragma once

#include "engine/engine.h"
#include "engine/job_state.h"
#include "engine/random_source.h"
#include "forms/main_form.h"
#include "platform/platform.h"
#include "qt/widget_job_view.h"

#include <QMainWindow>
#include <array>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace klar::ui {

class AuxWindows;

/// The working window: drive list, method boxes, Clear Drive and Abort, the progress display,
/// the menus and the exit rules. The job runs inside Command5_Click on this thread and keeps
/// the window live through the view's yields. The rules outside the job are MainForm's; this
/// class puts them on Qt widgets.
class frmMain : public QMainWindow, private forms::MainView {
    Q_OBJECT

public:
    /// Builds the window in its design state. Nothing is read or opened until Form_Load.
    frmMain(JobState& state, Platform& platform, AuxWindows& windows, QWidget* parent = nullptr);
    ~frmMain() override;

    /// Sizes the window, removes its maximise button, opens the donation window and fills
    /// the drive list. Runs once, before the window is first shown.
    void Form_Load();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void BuildMenus();
    void ConnectHandlers();

    // MainView: the rules' hold on the widgets.
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
    [[nodiscard]] QCheckBox* Box(MethodBox box) const;
    /// Widens the drive box for its longest item or typed text, moving the rest of the top row
    /// right and growing the window with it (where drives are folders).
    void FitTopRowToDriveText();

    void Command5_Click();
    void btnAbort_Click();

    JobState& state_;
    Platform& platform_;
    AuxWindows& windows_;

    QComboBox* cboDelay = nullptr;
    QPushButton* Command5 = nullptr;
    QLabel* Label8 = nullptr;
    QPushButton* btnAbort = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* Label2 = nullptr;
    QCheckBox* chkDOD = nullptr;
    QCheckBox* chkNSA = nullptr;
    QCheckBox* chkGuttman = nullptr;
    QCheckBox* chkUK = nullptr;
    QCheckBox* chkCanada = nullptr;
    QCheckBox* chkSingle = nullptr;

    int topRowGrowth_ = 0; ///< pixels the drive box is wider than designed

    forms::MainForm rules_;
    std::unique_ptr<WidgetJobView> view_;
    ClockSeededRandom random_;
    std::unique_ptr<Engine> engine_;
};

} // namespace klar::ui
