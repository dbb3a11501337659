// The main window as it first appears: state, layout, look, menus, method selection.
#include "look.h"
#include "ui_rig.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
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
    const int growth = rig.Get<QWidget>("cboDelay")->width() - Twips(rig, 0, 0, 735, 315).width();
    EXPECT_EQ(growth > 0, ui::kDriveBoxFitsPaths) << growth;
    return growth;
}

TEST(MainWindowLayout, ControlsSitAtTheirTwipsWithTheirCaptionsAndTooltips) {
    struct Expected {
        const char* name;
        QRect twips;
        const char* caption;
        const char* tooltip;
    };
    const Expected table[] = {
        {"cboDelay", {2040, 120, 735, 315}, nullptr, "List of attached disk drives."},
        {"Label1", {120, 240, 1815, 255}, "Select drive to clear:", ""},
        {"Command5", {2880, 120, 1095, 255}, "&Clear Drive", "Clear Selected Drive"},
        {"Label8", {2640, 480, 1935, 255}, "", "Current \"pass\" of clearing operation."},
        {"btnAbort", {3960, 120, 615, 255}, "&Abort", "Abort Current Operation"},
        {"Label9",
         {450, 1800, 4110, 255},
         "Remaining:",
         "Shows remaining disk space to be cleared."},
        {"Label10", {75, 2040, 4395, 255}, "Drive Capacity:", "Total capacity of selected drive."},
        {"ProgressBar1", {1080, 840, 3375, 255}, nullptr, "Shows progress of current \"pass\"."},
        {"Label2", {105, 840, 915, 255}, "Pass [ ]:", "Current \"pass\" of clearing operation."},
        {"chkDOD", {120, 1200, 1455, 255}, "DOD-5220.22M", "DOD 5220.22M Std. - 3 Passes."},
        {"chkNSA", {1680, 1200, 680, 255}, "NSA", "NSA Std. - 7 Passes"},
        {"chkGuttman",
         {2520, 1200, 975, 255},
         "Guttman",
         "Guttman Method - 35 Passes!  Takes a long time!"},
        {"chkUK", {3600, 1200, 975, 255}, "UK Std.", "UK Std. - 38 Passes!  Takes a long time!"},
        {"chkCanada", {120, 1440, 975, 375}, "Canadian", "Canadian Std. - 8 Passes"},
        {"chkSingle",
         {1200, 1480, 1335, 255},
         "Single Sweep",
         "Single Pattern Sweep - Fastest Method."},
    };
    WindowRig rig;
    rig.LoadAndShow();
    // Where drives are folders the drive box is wider, and the rest of the top row moves right
    // by as much; nothing else moves.
    const int growth = TopRowGrowth(rig);
    for (const Expected& e : table) {
        SCOPED_TRACE(e.name);
        QWidget* control = rig.Get<QWidget>(e.name);
        const QRect& t = e.twips;
        QRect expected = Twips(rig, t.x(), t.y(), t.width(), t.height());
        if (std::string(e.name) == "cboDelay") {
            expected.setWidth(expected.width() + growth);
        } else if (std::string(e.name) == "Command5" || std::string(e.name) == "btnAbort" ||
                   std::string(e.name) == "Label8") {
            expected.translate(growth, 0);
        }
        EXPECT_EQ(control->geometry(), expected);
        EXPECT_EQ(control->toolTip(), QString::fromUtf8(e.tooltip));
        if (e.caption == nullptr) {
            continue;
        }
        if (auto* label = qobject_cast<QLabel*>(control)) {
            EXPECT_EQ(label->text(), QString::fromUtf8(e.caption));
        } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
            EXPECT_EQ(button->text(), QString::fromUtf8(e.caption));
        }
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

TEST(MainWindowLayout, TabRunsDownTheTableAndSkipsLabelsAndTheBar) {
    WindowRig rig;
    rig.LoadAndShow();
    auto tabs = [&](int count) {
        std::vector<std::string> seen;
        for (int i = 0; i < count; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen.push_back(FocusedControl(*rig.window));
        }
        return seen;
    };
    EXPECT_EQ(tabs(8), (std::vector<std::string>{"Command5", "chkDOD", "chkNSA", "chkGuttman",
                                                 "chkUK", "chkCanada", "chkSingle", "cboDelay"}));
    rig.Get<QPushButton>("btnAbort")->show();
    EXPECT_EQ(tabs(3), (std::vector<std::string>{"Command5", "btnAbort", "chkDOD"}));
}

TEST(MainWindowLayout, MenusCarryTheirAccessKeys) {
    WindowRig rig;
    rig.LoadAndShow();
    auto* file = rig.Get<QMenu>("mnuFile");
    auto* help = rig.Get<QMenu>("mnuHelp");
    EXPECT_EQ(file->title(), "&File");
    EXPECT_EQ(help->title(), "&Help");
    ASSERT_EQ(file->actions().size(), 2);
    EXPECT_EQ(file->actions()[0], rig.Get<QAction>("mnuDonate"));
    EXPECT_EQ(file->actions()[1], rig.Get<QAction>("mnuFileExit"));
    EXPECT_EQ(rig.Get<QAction>("mnuDonate")->text(), "&Donate");
    EXPECT_EQ(rig.Get<QAction>("mnuFileExit")->text(), "E&xit");
    ASSERT_EQ(help->actions().size(), 1);
    EXPECT_EQ(help->actions()[0]->objectName(), "mnuHelpAbout");
    EXPECT_EQ(help->actions()[0]->text(), "&About ");
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
