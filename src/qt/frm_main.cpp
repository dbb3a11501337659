#include "qt/frm_main.h"

#include "engine/drive_list.h"
#include "qt/aux_windows.h"
#include "qt/forms.h"
#include "qt/look.h"
#include "qt/message_box.h"
#include "qt/twips.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStyle>
#include <algorithm>
#include <cstdlib>
#include <unistd.h>

namespace klar::ui {
namespace {

/// True in a window that pkexec started as root: it leaves the caller's user id behind in
/// PKEXEC_UID. A window started as root any other way keeps its plain caption.
bool StartedThroughPkexec() {
    return std::getenv("PKEXEC_UID") != nullptr && ::geteuid() == 0;
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
    : QMainWindow(parent), state_(state), platform_(platform), windows_(windows),
      rules_(state, platform, *this) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromStdString(forms::MainCaption(StartedThroughPkexec())));
    BuildMenus();
    BuildControls();
    ConnectHandlers();

    JobControls controls;
    controls.window = this;
    controls.cboDelay = cboDelay;
    controls.Command5 = Command5;
    controls.btnAbort = btnAbort;
    controls.captions = {Label2, Label8, Label9, Label10};
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
    for (MethodBox box : {MethodBox::DOD, MethodBox::NSA, MethodBox::Guttman, MethodBox::UK,
                          MethodBox::Canada, MethodBox::Single}) {
        connect(Box(box), &QCheckBox::toggled, this, [this, box] { rules_.MethodClicked(box); });
    }
}

// ---- Load, activation and the exit rules: MainForm's, on these widgets.

void frmMain::Form_Load() {
    Forms::Loaded(this);
    rules_.Form_Load();
    if (kDriveBoxFitsPaths) {
        connect(cboDelay, &QComboBox::editTextChanged, this, &frmMain::FitTopRowToDriveText);
    }
}

void frmMain::SetOuterSizeTwips(int /*width*/, int /*height*/) {
    // Qt sets no outer size: the client area is fixed, and the outer size is that plus the
    // menu bar and whatever frame the desktop draws.
    centralWidget()->setFixedSize(
        TwipsRect(*this, 0, 0, forms::kClientWidthTwips, forms::kClientHeightTwips).size());
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void frmMain::RemoveMaximizeBox() {
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
}

void frmMain::SetDriveItems(const std::vector<std::string>& items) {
    cboDelay->clear();
    for (const std::string& item : items) {
        cboDelay->addItem(QString::fromStdString(item));
    }
    cboDelay->setCurrentIndex(-1);
    cboDelay->setEditText(QString());
    FitTopRowToDriveText();
    FitDropDownToItems(*cboDelay);
}

QCheckBox* frmMain::Box(MethodBox box) const {
    switch (box) {
    case MethodBox::DOD:
        return chkDOD;
    case MethodBox::NSA:
        return chkNSA;
    case MethodBox::Guttman:
        return chkGuttman;
    case MethodBox::UK:
        return chkUK;
    case MethodBox::Canada:
        return chkCanada;
    case MethodBox::Single:
        break;
    }
    return chkSingle;
}

bool frmMain::IsMethodChecked(MethodBox box) {
    return Box(box)->isChecked();
}

void frmMain::SetMethodChecked(MethodBox box, bool checked) {
    Box(box)->setChecked(checked);
}

bool frmMain::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) {
        rules_.Form_Activate();
    }
    return QMainWindow::event(event);
}

void frmMain::SetBarColour(std::uint32_t colour) {
    ProgressBar1->setStyleSheet(ProgressBarStyle(FromColourRef(colour)));
}

void frmMain::ShowMessage(const std::string& text) {
    MsgBox(this, QString::fromStdString(text));
}

void frmMain::ShowDonate() {
    windows_.ShowDonate();
}

void frmMain::ShowAbout() {
    windows_.ShowAbout(this);
}

void frmMain::closeEvent(QCloseEvent* event) {
    bool cancel = false;
    rules_.Form_Unload(cancel);
    if (cancel) {
        event->ignore();
        return;
    }
    Forms::Unloaded(this);
    event->accept();
}

void frmMain::UnloadOtherForms() {
    Forms::CloseAllBut(this);
}

bool frmMain::IsMinimized() {
    return isMinimized();
}

forms::PlacementTwips frmMain::OuterPlacement() {
    const QRect outer = frameGeometry();
    const double dpiX = logicalDpiX();
    const double dpiY = logicalDpiY();
    return {PixelsToTwips(outer.x(), dpiX), PixelsToTwips(outer.y(), dpiY),
            PixelsToTwips(outer.width(), dpiX), PixelsToTwips(outer.height(), dpiY)};
}

std::string frmMain::WriteSetting(const std::string& section, const std::string& key,
                                  const std::string& value) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromLatin1(kAppTitle), QString::fromLatin1(kAppTitle));
    settings.beginGroup(QString::fromStdString(section));
    settings.setValue(QString::fromStdString(key), QString::fromStdString(value));
    settings.endGroup();
    settings.sync();
    switch (settings.status()) {
    case QSettings::NoError:
        return {};
    case QSettings::AccessError:
        return settings.fileName().toStdString() + " cannot be written";
    case QSettings::FormatError:
        break;
    }
    return settings.fileName().toStdString() + " is not a settings file";
}

void frmMain::RequestClose() {
    close();
}

// ---- The job.

void frmMain::Command5_Click() {
    engine_->Command5_Click();
    view_->ShowPending(); // what the job wrote after its last yield
}

void frmMain::btnAbort_Click() {
    engine_->btnAbort_Click();
}

} // namespace klar::ui
