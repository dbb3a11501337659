// The main window as it first appears: state, layout, look, menus, method selection.
#include "forms/main_layout.h"
#include "qt/look.h"
#include "ui_rig.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <unistd.h>

namespace klar::uitest {
namespace {

constexpr const char* kMethodBoxes[] = {"chkDOD", "chkNSA",    "chkGuttman",
                                        "chkUK",  "chkCanada", "chkSingle"};

std::vector<std::string> CheckedBoxes(const WindowRig& rig) {
    std::vector<std::string> checked;
    for (const char* name : kMethodBoxes) {
        if (rig.Get<QCheckBox>(name)->isChecked()) {
            checked.emplace_back(name);
        }
    }
    return checked;
}

void ClickBox(QCheckBox* box) {
    // On the box itself, whatever the caption's width.
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

QRect Twips(const WindowRig& rig, int left, int top, int width, int height) {
    const double x = rig.window->logicalDpiX() / 1440.0;
    const double y = rig.window->logicalDpiY() / 1440.0;
    return {qRound(left * x), qRound(top * y), qRound(width * x), qRound(height * y)};
}

/// The colour most of the widget's pixels have.
QColor CommonestColour(QWidget* widget) {
    const QImage image = widget->grab().toImage();
    std::map<QRgb, long> counts;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            ++counts[image.pixelColor(x, y).rgb()];
        }
    }
    const auto commonest =
        std::max_element(counts.begin(), counts.end(),
                         [](const auto& a, const auto& b) { return a.second < b.second; });
    return QColor::fromRgb(commonest->first);
}

/// Share of the widget's pixels that have exactly this colour.
double ShareOfColour(QWidget* widget, const QColor& colour) {
    const QImage image = widget->grab().toImage();
    long matching = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            matching += image.pixelColor(x, y).rgb() == colour.rgb() ? 1 : 0;
        }
    }
    return static_cast<double>(matching) / (image.width() * image.height());
}

// ---- First show

TEST(MainWindowFirstShow, ShowsTheStartState) {
    WindowRig rig;
    rig.LoadAndShow();

    EXPECT_EQ(CheckedBoxes(rig), std::vector<std::string>{"chkDOD"});
    EXPECT_EQ(rig.Get<QComboBox>("cboDelay")->currentText(), QString());
    EXPECT_EQ(rig.Get<QComboBox>("cboDelay")->currentIndex(), -1);
    EXPECT_FALSE(rig.Get<QPushButton>("btnAbort")->isVisible());
    EXPECT_EQ(rig.Caption("Label8"), QString());
    EXPECT_EQ(rig.Caption("Label2"), "Pass [ ]:");
    EXPECT_EQ(rig.Caption("Label9"), "Remaining:");
    EXPECT_EQ(rig.Caption("Label10"), "Drive Capacity:");
    EXPECT_EQ(rig.Caption("Label1"), "Select drive to clear:");
    EXPECT_EQ(rig.Get<QProgressBar>("ProgressBar1")->value(), 0);
    EXPECT_EQ(rig.window->windowTitle(), "Klarvenor - Secure Erasure Utility ");
    EXPECT_EQ(rig.window->windowTitle().size(), 35);
    EXPECT_EQ(FocusedControl(*rig.window), "cboDelay");
}

// The administrator launcher's window must not be taken for the user's own, and no other
// window may claim to be it.
TEST(MainWindowFirstShow, OnlyAWindowThatPkexecStartedAsRootSaysAdministrator) {
    const QString plain = QStringLiteral("Klarvenor - Secure Erasure Utility ");
    const bool root = ::geteuid() == 0;
    for (const char* pkexecUid : {static_cast<const char*>(nullptr), "1000"}) {
        if (pkexecUid != nullptr) {
            ::setenv("PKEXEC_UID", pkexecUid, 1);
        } else {
            ::unsetenv("PKEXEC_UID");
        }
        WindowRig rig;
        const bool administrator = pkexecUid != nullptr && root;
        EXPECT_EQ(rig.window->windowTitle(),
                  administrator ? plain + QStringLiteral("(Administrator)") : plain)
            << (pkexecUid != nullptr ? "PKEXEC_UID set" : "PKEXEC_UID unset");
    }
    ::unsetenv("PKEXEC_UID");
}

TEST(MainWindowFirstShow, LoadOpensTheDonationWindowBeforeTheDriveListAndTheFirstShow) {
    WindowRig rig(std::make_unique<GivenDrives>(std::string("C:\\\0D:\\\0\0", 9)));
    int itemsWhenShown = -1;
    bool mainVisibleWhenShown = true;
    rig.recordingAux.onDonate = [&] {
        itemsWhenShown = rig.Get<QComboBox>("cboDelay")->count();
        mainVisibleWhenShown = rig.window->isVisible();
    };
    rig.LoadAndShow();
    EXPECT_EQ(rig.recordingAux.donateShown, 1);
    EXPECT_EQ(itemsWhenShown, 0);
    EXPECT_FALSE(mainVisibleWhenShown);
    EXPECT_EQ(rig.Get<QComboBox>("cboDelay")->count(), 2);
}

// ---- Method selection

TEST(MethodSelection, CheckingGuttmanClearsDod) {
    WindowRig rig;
    rig.LoadAndShow();
    ClickBox(rig.Get<QCheckBox>("chkGuttman"));
    EXPECT_EQ(CheckedBoxes(rig), std::vector<std::string>{"chkGuttman"});
}

TEST(MethodSelection, UncheckingTheCheckedBoxLeavesNoneChecked) {
    WindowRig rig;
    rig.LoadAndShow();
    ClickBox(rig.Get<QCheckBox>("chkGuttman"));
    ClickBox(rig.Get<QCheckBox>("chkGuttman"));
    EXPECT_TRUE(CheckedBoxes(rig).empty());
    ClickBox(rig.Get<QCheckBox>("chkDOD"));
    ClickBox(rig.Get<QCheckBox>("chkDOD"));
    EXPECT_TRUE(CheckedBoxes(rig).empty());
}

TEST(MethodSelection, EveryBoxClearsTheOtherFiveWhoeverChecksIt) {
    WindowRig rig;
    rig.LoadAndShow();
    // From the start state (DOD checked) through every other box and back to DOD.
    for (const char* name : {"chkNSA", "chkGuttman", "chkUK", "chkCanada", "chkSingle", "chkDOD"}) {
        ClickBox(rig.Get<QCheckBox>(name));
        EXPECT_EQ(CheckedBoxes(rig), std::vector<std::string>{name}) << "clicked " << name;
    }
    // Program code checking a box runs the same rule.
    rig.Get<QCheckBox>("chkNSA")->setChecked(true);
    EXPECT_EQ(CheckedBoxes(rig), std::vector<std::string>{"chkNSA"});
}

// ---- Layout

/// Pixels the drive box is wider than designed: none on Windows, where drives are letters.
int TopRowGrowth(WindowRig& rig) {
    const forms::TwipsRect& designed =
        forms::kMainControls[forms::MainControlIndex("cboDelay")].place;
    const int growth =
        rig.Get<QWidget>("cboDelay")->width() - Twips(rig, 0, 0, designed.width, 0).width();
    EXPECT_EQ(growth > 0, ui::kDriveBoxFitsPaths) << growth;
    return growth;
}

/// The text a control shows of its own: a label's or a button's caption, the drive list's edit
/// field; nothing for the bar.
QString ShownText(QWidget* control) {
    if (auto* label = qobject_cast<QLabel*>(control)) {
        return label->text();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        return button->text();
    }
    if (auto* list = qobject_cast<QComboBox*>(control)) {
        return list->currentText();
    }
    return QString();
}

TEST(MainWindowLayout, EveryControlOfTheTableIsBuiltAtItsPlaceInsideTheClientArea) {
    WindowRig rig;
    rig.LoadAndShow();
    // Where drives are folders the drive box is wider, and the rest of the top row moves right
    // by as much; nothing else moves.
    const int growth = TopRowGrowth(rig);
    const std::set<std::string> movedRight{"Command5", "btnAbort", "Label8"};
    const QRect client = rig.window->centralWidget()->rect();
    for (const forms::ControlDesign& design : forms::kMainControls) {
        SCOPED_TRACE(design.name);
        auto* control = rig.window->centralWidget()->findChild<QWidget*>(design.name);
        ASSERT_NE(control, nullptr);
        const forms::TwipsRect& t = design.place;
        QRect expected = Twips(rig, t.left, t.top, t.width, t.height);
        if (std::string(design.name) == "cboDelay") {
            expected.setWidth(expected.width() + growth);
        } else if (movedRight.count(design.name) != 0) {
            expected.translate(growth, 0);
        }
        EXPECT_EQ(control->geometry(), expected);
        EXPECT_TRUE(client.contains(control->geometry())) << "outside the client area";
        EXPECT_EQ(ShownText(control), QString::fromUtf8(design.caption));
        EXPECT_EQ(control->toolTip(), QString::fromUtf8(design.tooltip));
        EXPECT_EQ(control->font().bold(), design.weight == forms::Weight::Bold);
        EXPECT_EQ(control->isVisible(), design.start != forms::Start::Hidden);
    }
    if (rig.window->logicalDpiX() == 96) {
        EXPECT_EQ(rig.Get<QWidget>("Command5")->geometry(), QRect(192 + growth, 8, 73, 17));
    }
}

TEST(MainWindowLayout, HasAFixedSizeAndNoMaximiseButton) {
    WindowRig rig;
    rig.LoadAndShow();
    EXPECT_EQ(rig.window->minimumSize(), rig.window->maximumSize());
    EXPECT_EQ(rig.window->size(), rig.window->minimumSize());
    EXPECT_FALSE(rig.window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(rig.window->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_EQ(rig.window->centralWidget()->size(),
              Twips(rig, 0, 0, 4635, 2385).size() + QSize(TopRowGrowth(rig), 0));
    rig.window->resize(rig.window->size() * 2);
    EXPECT_EQ(rig.window->size(), rig.window->minimumSize());
}

TEST(MainWindowLayout, TabRunsDownTheTableSkippingLabelsTheBarAndHiddenControls) {
    WindowRig rig;
    rig.LoadAndShow();
    auto tabs = [&](std::size_t count) {
        std::vector<std::string> seen;
        for (std::size_t i = 0; i < count; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen.push_back(FocusedControl(*rig.window));
        }
        return seen;
    };
    // The stops in the table's order, from the drive list (where the focus starts) round to
    // it again; Abort only once a job shows it.
    std::vector<std::string> all;
    std::vector<std::string> shown;
    for (const forms::ControlDesign& design : forms::kMainControls) {
        if (forms::TakesFocus(design.kind)) {
            all.emplace_back(design.name);
            if (design.start != forms::Start::Hidden) {
                shown.emplace_back(design.name);
            }
        }
    }
    ASSERT_EQ(FocusedControl(*rig.window), all.front());
    std::rotate(shown.begin(), shown.begin() + 1, shown.end());
    EXPECT_EQ(tabs(shown.size()), shown);
    rig.Get<QPushButton>("btnAbort")->show();
    std::rotate(all.begin(), all.begin() + 1, all.end());
    EXPECT_EQ(tabs(all.size()), all);
}

TEST(MainWindowLayout, MenusAreTheTablesInItsOrderWithTheirAccessKeys) {
    WindowRig rig;
    rig.LoadAndShow();
    const QList<QAction*> bar = rig.window->menuBar()->actions();
    ASSERT_EQ(bar.size(), static_cast<qsizetype>(std::size(forms::kMainMenus)));
    for (std::size_t m = 0; m < std::size(forms::kMainMenus); ++m) {
        const forms::MenuDesign& design = forms::kMainMenus[m];
        SCOPED_TRACE(design.name);
        auto* menu = rig.Get<QMenu>(design.name);
        EXPECT_EQ(bar[static_cast<qsizetype>(m)]->menu(), menu);
        EXPECT_EQ(menu->title(), QString::fromUtf8(design.caption));
        ASSERT_EQ(menu->actions().size(), static_cast<qsizetype>(design.items.size()));
        for (std::size_t i = 0; i < design.items.size(); ++i) {
            QAction* action = menu->actions()[static_cast<qsizetype>(i)];
            EXPECT_EQ(action->objectName(), design.items[i].name);
            EXPECT_EQ(action->text(), QString::fromUtf8(design.items[i].caption));
        }
    }
}

TEST(MainWindowLayout, MenuItemsOpenTheAuxiliaryWindows) {
    WindowRig rig;
    rig.LoadAndShow();
    const int atLoad = rig.recordingAux.donateShown;
    rig.Trigger("mnuDonate");
    EXPECT_EQ(rig.recordingAux.donateShown, atLoad + 1);
    rig.Trigger("mnuHelpAbout");
    EXPECT_EQ(rig.recordingAux.aboutShown, 1);
}

// ---- Look

TEST(MainWindowLook, ButtonFacesAndTextColours) {
    WindowRig rig;
    rig.LoadAndShow();
    rig.Get<QPushButton>("btnAbort")->show();
    EXPECT_EQ(CommonestColour(rig.Get<QWidget>("Command5")), QColor(255, 128, 128));
    EXPECT_EQ(CommonestColour(rig.Get<QWidget>("btnAbort")), QColor(128, 255, 128));
    EXPECT_GT(ShareOfColour(rig.Get<QWidget>("Label9"), QColor(0, 0, 128)), 0.0);
    EXPECT_EQ(ShareOfColour(rig.Get<QWidget>("Label10"), QColor(0, 0, 128)), 0.0);
    EXPECT_TRUE(rig.Get<QLabel>("Label1")->font().bold());
    EXPECT_TRUE(rig.Get<QPushButton>("Command5")->font().bold());
    EXPECT_TRUE(rig.Get<QComboBox>("cboDelay")->font().bold());
    EXPECT_FALSE(rig.Get<QCheckBox>("chkDOD")->font().bold());
    EXPECT_DOUBLE_EQ(rig.Get<QCheckBox>("chkDOD")->font().pointSizeF(), 8.25);
}

TEST(MainWindowLook, ProgressBarIsDarkBlueWithoutPercentageText) {
    WindowRig rig;
    rig.LoadAndShow();
    auto* bar = rig.Get<QProgressBar>("ProgressBar1");
    EXPECT_FALSE(bar->isTextVisible());
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    bar->setValue(100);
    EXPECT_GT(ShareOfColour(bar, QColor(0, 0, 127)), 0.7);
    bar->setValue(0);
    EXPECT_LT(ShareOfColour(bar, QColor(0, 0, 127)), 0.05);
}

TEST(MainWindowLook, EveryActivationSetsTheBarColourAgain) {
    WindowRig rig;
    rig.LoadAndShow();
    auto* bar = rig.Get<QProgressBar>("ProgressBar1");
    bar->setValue(100);
    bar->setStyleSheet(QString()); // as if something had reset it

    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    EXPECT_LT(ShareOfColour(bar, QColor(0, 0, 127)), 0.05);

    rig.window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(rig.window.get()));
    EXPECT_GT(ShareOfColour(bar, QColor(0, 0, 127)), 0.7);
}

} // namespace
} // namespace klar::uitest
