#pragma once

#include "engine.h"
#include "job_state.h"
#include "platform.h"
#include "random_source.h"
#include "widget_job_view.h"

#include <QMainWindow>
#include <array>
#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;

namespace klar::ui {

class AuxWindows;

/// The working window: drive list, method boxes, Clear Drive and Abort, the progress display,
/// the menus and the exit rules. The job runs inside Command5_Click on this thread and keeps
/// the window live through the view's yields.
class frmMain : public QMainWindow {
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

    void Form_Activate();
    /// The exit rules; sets cancel to keep the window open.
    void Form_Unload(bool& cancel);
    void UnloadOtherForms();
    void SavePlacement();
    void FillDriveList();
    /// Widens the drive box for its longest item or typed text, moving the rest of the top row
    /// right and growing the window with it (where drives are folders).
    void FitTopRowToDriveText();

    void Command5_Click();
    void btnAbort_Click();
    void chkDOD_Click();
    void chkNSA_Click();
    void chkGuttman_Click();
    void chkUK_Click();
    void chkCanada_Click();
    void chkSingle_Click();
    /// The rule of all six method boxes: a checked box clears the other five.
    void MethodClicked(QCheckBox* box);
    void mnuFileExit_Click();
    void mnuDonate_Click();
    void mnuHelpAbout_Click();

    JobState& state_;
    Platform& platform_;
    AuxWindows& windows_;

    QComboBox* cboDelay = nullptr;
    QLabel* Label1 = nullptr;
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
    QMenu* mnuFile = nullptr;
    QAction* mnuDonate = nullptr;
    QAction* mnuFileExit = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuHelpAbout = nullptr;

    int topRowGrowth_ = 0; ///< pixels the drive box is wider than designed

    std::unique_ptr<WidgetJobView> view_;
    ClockSeededRandom random_;
    std::unique_ptr<Engine> engine_;
};

} // namespace klar::ui
