#include "frm_main.h"

#include "aux_windows.h"
#include "drive_list.h"
#include "forms.h"
#include "look.h"
#include "message_box.h"
#include "twips.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStyle>
#include <algorithm>

namespace klar::ui {
namespace {

// The client area the controls are laid out for, in twips.
constexpr int kClientWidth = 4635;
constexpr int kClientHeight = 2385;

QString Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(' ');
    return QString::fromStdString(text.substr(first, last - first + 1));
}

/// A twips value as the settings store keeps it: the decimal text of a single-precision
/// number, plain digits for a whole number.
QString TwipsText(double twips) {
    return QString::number(static_cast<double>(static_cast<float>(twips)), 'g', 7);
}

/// Lets the drop-down list show whole mount paths; the edit field keeps its place and size.
void FitDropDownToItems(QComboBox& box) {
    QAbstractItemView* list = box.view();
    int widest = 0;
    for (int row = 0; row < box.count(); ++row) {
        widest = std::max(widest, list->sizeHintForIndex(box.model()->index(row, 0)).width());
    }
    const int chrome =
        2 * list->frameWidth() + list->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    list->setMinimumWidth(std::max(box.width(), widest + chrome));
}

} // namespace

frmMain::frmMain(JobState& state, Platform& platform, AuxWindows& windows, QWidget* parent)
    : QMainWindow(parent), state_(state), platform_(platform), windows_(windows) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Klarvenor - Secure Erasure Utility "));
    BuildMenus();
    BuildControls();
    ConnectHandlers();

    JobControls controls;
    controls.window = this;
    controls.cboDelay = cboDelay;
    controls.Command5 = Command5;
    controls.btnAbort = btnAbort;
    controls.Label2 = Label2;
    controls.Label8 = Label8;
    controls.Label9 = Label9;
    controls.Label10 = Label10;
    controls.ProgressBar1 = ProgressBar1;
    controls.methods[static_cast<std::size_t>(MethodBox::DOD)] = chkDOD;
    controls.methods[static_cast<std::size_t>(MethodBox::NSA)] = chkNSA;
    controls.methods[static_cast<std::size_t>(MethodBox::Guttman)] = chkGuttman;
    controls.methods[static_cast<std::size_t>(MethodBox::UK)] = chkUK;
    controls.methods[static_cast<std::size_t>(MethodBox::Canada)] = chkCanada;
    controls.methods[static_cast<std::size_t>(MethodBox::Single)] = chkSingle;
    view_ = std::make_unique<WidgetJobView>(controls);
    engine_ = std::make_unique<Engine>(state_, platform_, *view_, random_);
}

frmMain::~frmMain() = default;

void frmMain::ConnectHandlers() {
    connect(Command5, &QPushButton::clicked, this, &frmMain::Command5_Click);
    connect(btnAbort, &QPushButton::clicked, this, &frmMain::btnAbort_Click);
    connect(chkDOD, &QCheckBox::toggled, this, &frmMain::chkDOD_Click);
    connect(chkNSA, &QCheckBox::toggled, this, &frmMain::chkNSA_Click);
    connect(chkGuttman, &QCheckBox::toggled, this, &frmMain::chkGuttman_Click);
    connect(chkUK, &QCheckBox::toggled, this, &frmMain::chkUK_Click);
    connect(chkCanada, &QCheckBox::toggled, this, &frmMain::chkCanada_Click);
    connect(chkSingle, &QCheckBox::toggled, this, &frmMain::chkSingle_Click);
    connect(mnuFileExit, &QAction::triggered, this, &frmMain::mnuFileExit_Click);
    connect(mnuDonate, &QAction::triggered, this, &frmMain::mnuDonate_Click);
    connect(mnuHelpAbout, &QAction::triggered, this, &frmMain::mnuHelpAbout_Click);
}

// ---- Load, activation and the exit rules.

void frmMain::Form_Load() {
    Forms::Loaded(this);
    // The client area is fixed; the window's outer size is that plus the menu bar and
    // whatever frame the desktop draws.
    centralWidget()->setFixedSize(TwipsRect(*this, 0, 0, kClientWidth, kClientHeight).size());
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    windows_.ShowDonate();
    FillDriveList();
    if (kDriveBoxFitsPaths) {
        connect(cboDelay, &QComboBox::editTextChanged, this, &frmMain::FitTopRowToDriveText);
    }
}

void frmMain::FillDriveList() {
    const std::vector<std::string> drives = LoadDriveList(platform_);
    cboDelay->clear();
    for (const std::string& drive : drives) {
        if (!Trimmed(drive).isEmpty()) {
            cboDelay->addItem(QString::fromStdString(drive));
        }
    }
    cboDelay->setCurrentIndex(-1);
    cboDelay->setEditText(QString());
    FitTopRowToDriveText();
    FitDropDownToItems(*cboDelay);
}

bool frmMain::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) {
        Form_Activate();
    }
    return QMainWindow::event(event);
}

void frmMain::Form_Activate() {
    ProgressBar1->setStyleSheet(ProgressBarStyle());
}

void frmMain::closeEvent(QCloseEvent* event) {
    bool cancel = false;
    Form_Unload(cancel);
    if (cancel) {
        event->ignore();
    } else {
        event->accept();
    }
}

void frmMain::Form_Unload(bool& cancel) {
    if (state_.gJobRunning) {
        MsgBox(this, QStringLiteral("Program still running. Abort first, then Exit."));
        cancel = true;
        return;
    }
    if (!state_.gExitRequested) {
        MsgBox(this, QStringLiteral("Exit program via File-Exit menu option."));
        cancel = true;
        return;
    }
    UnloadOtherForms();
    if (!isMinimized()) {
        SavePlacement();
    }
    Forms::Unloaded(this);
}

void frmMain::UnloadOtherForms() {
    const QList<QWidget*> forms = Forms::All();
    for (qsizetype index = forms.size() - 1; index >= 0; --index) {
        if (forms[index] != this) {
            forms[index]->close();
        }
    }
}

void frmMain::SavePlacement() {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromLatin1(kAppTitle), QString::fromLatin1(kAppTitle));
    settings.beginGroup(QStringLiteral("Settings"));
    const QRect outer = frameGeometry();
    const double dpiX = logicalDpiX();
    const double dpiY = logicalDpiY();
    settings.setValue(QStringLiteral("MainLeft"), TwipsText(PixelsToTwips(outer.x(), dpiX)));
    settings.setValue(QStringLiteral("MainTop"), TwipsText(PixelsToTwips(outer.y(), dpiY)));
    settings.setValue(QStringLiteral("MainWidth"), TwipsText(PixelsToTwips(outer.width(), dpiX)));
    settings.setValue(QStringLiteral("MainHeight"), TwipsText(PixelsToTwips(outer.height(), dpiY)));
    settings.endGroup();
    settings.sync();
}

// ---- The job.

void frmMain::Command5_Click() {
    engine_->Command5_Click();
    view_->ShowPending(); // what the job wrote after its last yield
}

void frmMain::btnAbort_Click() {
    engine_->btnAbort_Click();
}

// ---- Method selection.

void frmMain::MethodClicked(QCheckBox* box) {
    if (!box->isChecked()) {
        return;
    }
    // Each box cleared here runs its own handler, which finds it unchecked and stops.
    for (QCheckBox* other : {chkDOD, chkNSA, chkGuttman, chkUK, chkCanada, chkSingle}) {
        if (other != box) {
            other->setChecked(false);
        }
    }
}

void frmMain::chkDOD_Click() {
    MethodClicked(chkDOD);
}
void frmMain::chkNSA_Click() {
    MethodClicked(chkNSA);
}
void frmMain::chkGuttman_Click() {
    MethodClicked(chkGuttman);
}
void frmMain::chkUK_Click() {
    MethodClicked(chkUK);
}
void frmMain::chkCanada_Click() {
    MethodClicked(chkCanada);
}
void frmMain::chkSingle_Click() {
    MethodClicked(chkSingle);
}

// ---- Menus.

void frmMain::mnuFileExit_Click() {
    state_.gExitRequested = true;
    close();
}

void frmMain::mnuDonate_Click() {
    windows_.ShowDonate();
}

void frmMain::mnuHelpAbout_Click() {
    windows_.ShowAbout(this);
}

} // namespace klar::ui
