// The main window's controls in their design state: places in twips, captions, tooltips,
// fonts, colours and tab order.
#include "frm_main.h"
#include "look.h"
#include "twips.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <algorithm>

namespace klar::ui {
namespace {

struct Place {
    int left;
    int top;
    int width;
    int height;
};

template <typename Control>
Control* Put(QWidget* client, const char* name, Place place, const char* tooltip,
             const QFont& font) {
    auto* control = new Control(client);
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(TwipsRect(*client, place.left, place.top, place.width, place.height));
    control->setFont(font);
    if (tooltip != nullptr) {
        control->setToolTip(QString::fromUtf8(tooltip));
    }
    return control;
}

QLabel* PutLabel(QWidget* client, const char* name, Place place, const char* caption,
                 const char* tooltip) {
    auto* label = Put<QLabel>(client, name, place, tooltip, DesignFont(true));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setText(QString::fromUtf8(caption));
    return label;
}

QPushButton* PutButton(QWidget* client, const char* name, Place place, const char* caption,
                       const char* tooltip, const QColor& face) {
    auto* button = Put<QPushButton>(client, name, place, tooltip, DesignFont(true));
    button->setText(QString::fromUtf8(caption));
    button->setStyleSheet(ColouredButtonStyle(face));
    button->setAutoDefault(false);
    return button;
}

QCheckBox* PutCheckBox(QWidget* client, const char* name, Place place, const char* caption,
                       const char* tooltip) {
    auto* box = Put<QCheckBox>(client, name, place, tooltip, DesignFont(false));
    box->setText(QString::fromUtf8(caption));
    box->setStyleSheet(CheckBoxStyle());
    return box;
}

} // namespace

void frmMain::BuildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    // Created in tab order, so the focus chain runs down the design's table.
    cboDelay = Put<QComboBox>(client, "cboDelay", {2040, 120, 735, 315},
                              "List of attached disk drives.", DesignFont(true));
    cboDelay->setEditable(true);
    cboDelay->setInsertPolicy(QComboBox::NoInsert);
    Label1 = PutLabel(client, "Label1", {120, 240, 1815, 255}, "Select drive to clear:", nullptr);
    Command5 = PutButton(client, "Command5", {2880, 120, 1095, 255}, "&Clear Drive",
                         "Clear Selected Drive", kClearButtonFace);
    Label8 = PutLabel(client, "Label8", {2640, 480, 1935, 255}, "",
                      "Current \"pass\" of clearing operation.");
    btnAbort = PutButton(client, "btnAbort", {3960, 120, 615, 255}, "&Abort",
                         "Abort Current Operation", kAbortButtonFace);
    btnAbort->setVisible(false);
    Label9 = PutLabel(client, "Label9", {450, 1800, 4110, 255},
                      "Remaining:", "Shows remaining disk space to be cleared.");
    QPalette navy = Label9->palette();
    navy.setColor(QPalette::WindowText, kRemainingText);
    Label9->setPalette(navy);
    Label10 = PutLabel(client, "Label10", {75, 2040, 4395, 255},
                       "Drive Capacity:", "Total capacity of selected drive.");
    ProgressBar1 = Put<QProgressBar>(client, "ProgressBar1", {1080, 840, 3375, 255},
                                     "Shows progress of current \"pass\".", DesignFont(true));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    // Activation sets the colour again; this covers a desktop that shows the window inactive.
    ProgressBar1->setStyleSheet(ProgressBarStyle());
    Label2 = PutLabel(client, "Label2", {105, 840, 915, 255},
                      "Pass [ ]:", "Current \"pass\" of clearing operation.");
    chkDOD = PutCheckBox(client, "chkDOD", {120, 1200, 1455, 255}, "DOD-5220.22M",
                         "DOD 5220.22M Std. - 3 Passes.");
    chkDOD->setChecked(true);
    chkNSA = PutCheckBox(client, "chkNSA", {1680, 1200, 680, 255}, "NSA", "NSA Std. - 7 Passes");
    chkGuttman = PutCheckBox(client, "chkGuttman", {2520, 1200, 975, 255}, "Guttman",
                             "Guttman Method - 35 Passes!  Takes a long time!");
    chkUK = PutCheckBox(client, "chkUK", {3600, 1200, 975, 255}, "UK Std.",
                        "UK Std. - 38 Passes!  Takes a long time!");
    chkCanada = PutCheckBox(client, "chkCanada", {120, 1440, 975, 375}, "Canadian",
                            "Canadian Std. - 8 Passes");
    chkSingle = PutCheckBox(client, "chkSingle", {1200, 1480, 1335, 255}, "Single Sweep",
                            "Single Pattern Sweep - Fastest Method.");

    QWidget* const order[] = {cboDelay,   Command5, btnAbort,  chkDOD,   chkNSA,
                              chkGuttman, chkUK,    chkCanada, chkSingle};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        setTabOrder(order[i], order[i + 1]);
    }
    cboDelay->setFocus(Qt::OtherFocusReason);
}

void frmMain::FitTopRowToDriveText() {
    if (!kDriveBoxFitsPaths) {
        return;
    }
    const QFontMetrics metrics(cboDelay->font());
    int widest = metrics.horizontalAdvance(QString::fromLatin1(kTypicalDrivePath));
    for (int row = 0; row < cboDelay->count(); ++row) {
        widest = std::max(widest, metrics.horizontalAdvance(cboDelay->itemText(row)));
    }
    widest = std::max(widest, metrics.horizontalAdvance(cboDelay->currentText()));
    QStyleOptionComboBox option;
    option.initFrom(cboDelay);
    option.editable = true;
    // Room for the edit field's own margins around the text, too.
    const QSize text(widest + 2 * metrics.horizontalAdvance(QLatin1Char(' ')), metrics.height());
    const int needed =
        cboDelay->style()->sizeFromContents(QStyle::CT_ComboBox, &option, text, cboDelay).width();
    const int designedBox = cboDelay->width() - topRowGrowth_;
    const int designedClient = centralWidget()->width() - topRowGrowth_;
    int growth = std::max(0, needed - designedBox);
    if (const QScreen* display = screen()) {
        // A path wider than the screen scrolls in the edit field instead.
        growth = std::min(
            growth, std::max(0, display->availableGeometry().width() * 9 / 10 - designedClient));
    }
    const int delta = growth - topRowGrowth_;
    if (delta == 0) {
        return;
    }
    topRowGrowth_ = growth;
    cboDelay->resize(cboDelay->width() + delta, cboDelay->height());
    for (QWidget* right : std::initializer_list<QWidget*>{Command5, btnAbort, Label8}) {
        right->move(right->x() + delta, right->y());
    }
    centralWidget()->setFixedWidth(centralWidget()->width() + delta);
}

void frmMain::BuildMenus() {
    mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuDonate = mnuFile->addAction(QStringLiteral("&Donate"));
    mnuDonate->setObjectName(QStringLiteral("mnuDonate"));
    mnuFileExit = mnuFile->addAction(QStringLiteral("E&xit"));
    mnuFileExit->setObjectName(QStringLiteral("mnuFileExit"));
    mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuHelpAbout = mnuHelp->addAction(QStringLiteral("&About "));
    mnuHelpAbout->setObjectName(QStringLiteral("mnuHelpAbout"));
}

} // namespace klar::ui
