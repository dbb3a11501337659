// The main window's controls and menus, made from their description in main_layout.h.
#include "forms/main_layout.h"
#include "qt/frm_main.h"
#include "qt/look.h"
#include "qt/twips.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <algorithm>

namespace klar::ui {
namespace {

/// A new control of the design's kind with what only that kind has.
QWidget* MakeControl(QWidget* client, const forms::ControlDesign& design) {
    const QString caption = QString::fromUtf8(design.caption);
    switch (design.kind) {
    case forms::ControlKind::DriveList: {
        auto* list = new QComboBox(client);
        list->setEditable(true);
        list->setInsertPolicy(QComboBox::NoInsert);
        return list;
    }
    case forms::ControlKind::Label: {
        auto* label = new QLabel(client);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setText(caption);
        if (design.colour != forms::kSystemColour) {
            QPalette text = label->palette();
            text.setColor(QPalette::WindowText, FromColourRef(design.colour));
            label->setPalette(text);
        }
        return label;
    }
    case forms::ControlKind::Button: {
        auto* button = new QPushButton(caption, client);
        button->setStyleSheet(ColouredButtonStyle(FromColourRef(design.colour)));
        button->setAutoDefault(false);
        return button;
    }
    case forms::ControlKind::ProgressBar: {
        auto* bar = new QProgressBar(client);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        // Activation sets the colour again; this covers a desktop that shows the window
        // inactive.
        bar->setStyleSheet(ProgressBarStyle(FromColourRef(forms::kBarColour)));
        return bar;
    }
    case forms::ControlKind::CheckBox:
        break;
    }
    auto* box = new QCheckBox(caption, client);
    box->setStyleSheet(CheckBoxStyle());
    box->setChecked(design.start == forms::Start::Checked);
    return box;
}

} // namespace

void frmMain::BuildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    // Created in tab order, so the focus chain runs down the table.
    QWidget* previous = nullptr;
    for (const forms::ControlDesign& design : forms::kMainControls) {
        QWidget* control = MakeControl(client, design);
        control->setObjectName(QString::fromLatin1(design.name));
        const forms::TwipsRect& place = design.place;
        control->setGeometry(TwipsRect(*client, place.left, place.top, place.width, place.height));
        control->setFont(DesignFont(design.weight == forms::Weight::Bold));
        if (design.tooltip != nullptr) {
            control->setToolTip(QString::fromUtf8(design.tooltip));
        }
        if (design.start == forms::Start::Hidden) {
            control->hide();
        }
        if (forms::TakesFocus(design.kind)) {
            if (previous != nullptr) {
                setTabOrder(previous, control);
            }
            previous = control;
        }
    }
    cboDelay = client->findChild<QComboBox*>(QStringLiteral("cboDelay"));
    Command5 = client->findChild<QPushButton*>(QStringLiteral("Command5"));
    btnAbort = client->findChild<QPushButton*>(QStringLiteral("btnAbort"));
    Label2 = client->findChild<QLabel*>(QStringLiteral("Label2"));
    Label8 = client->findChild<QLabel*>(QStringLiteral("Label8"));
    Label9 = client->findChild<QLabel*>(QStringLiteral("Label9"));
    Label10 = client->findChild<QLabel*>(QStringLiteral("Label10"));
    ProgressBar1 = client->findChild<QProgressBar*>(QStringLiteral("ProgressBar1"));
    chkDOD = client->findChild<QCheckBox*>(QStringLiteral("chkDOD"));
    chkNSA = client->findChild<QCheckBox*>(QStringLiteral("chkNSA"));
    chkGuttman = client->findChild<QCheckBox*>(QStringLiteral("chkGuttman"));
    chkUK = client->findChild<QCheckBox*>(QStringLiteral("chkUK"));
    chkCanada = client->findChild<QCheckBox*>(QStringLiteral("chkCanada"));
    chkSingle = client->findChild<QCheckBox*>(QStringLiteral("chkSingle"));
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
    for (const forms::MenuDesign& design : forms::kMainMenus) {
        QMenu* menu = menuBar()->addMenu(QString::fromUtf8(design.caption));
        menu->setObjectName(QString::fromLatin1(design.name));
        for (const forms::MenuItemDesign& item : design.items) {
            QAction* action = menu->addAction(QString::fromUtf8(item.caption));
            action->setObjectName(QString::fromLatin1(item.name));
            connect(action, &QAction::triggered, this,
                    [this, command = item.command] { rules_.MenuChosen(command); });
        }
    }
}

} // namespace klar::ui
