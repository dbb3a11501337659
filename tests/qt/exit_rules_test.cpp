// The exit rules: which closes are refused with which message, the other windows closed first,
// the placement written in twips (or not at all when minimised).
#include "qt/app_windows.h"
#include "test_volume.h"
#include "ui_rig.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <gtest/gtest.h>

namespace klar::uitest {
namespace {

const QString kUseFileExit = QStringLiteral("Exit program via File-Exit menu option.");
const QString kStillRunning = QStringLiteral("Program still running. Abort first, then Exit.");

std::map<QString, QString> StoredPlacement() {
    QSettings store(SettingsFile(), QSettings::IniFormat);
    std::map<QString, QString> values;
    for (const QString& key : store.allKeys()) {
        values[key] = store.value(key).toString();
    }
    return values;
}

QString TwipsX(const QWidget& w, int pixels) {
    return QString::number(pixels * 1440.0 / w.logicalDpiX(), 'g', 7);
}
QString TwipsY(const QWidget& w, int pixels) {
    return QString::number(pixels * 1440.0 / w.logicalDpiY(), 'g', 7);
}

TEST(ExitRules, TheCloseBoxWhileIdleAsksForFileExitAndTheWindowStays) {
    ClearSettings();
    WindowRig rig;
    rig.LoadAndShow();
    ModalAnswerer answerer;
    EXPECT_FALSE(rig.window->close());
    ASSERT_EQ(answerer.boxes.size(), 1u);
    const SeenBox& box = answerer.boxes[0];
    EXPECT_EQ(box.text, kUseFileExit);
    EXPECT_EQ(box.title, "Klarvenor");
    EXPECT_TRUE(box.noIcon);
    EXPECT_TRUE(box.onlyOk);
    EXPECT_TRUE(rig.window->isVisible());
    EXPECT_FALSE(rig.state.gExitRequested);
    EXPECT_TRUE(StoredPlacement().empty());
}

TEST(ExitRules, FileExitDuringAJobIsRefusedAndTheJobGoesOn) {
    KLAR_REQUIRE_VOLUME(volume, test::MakeRamVolume, 256u << 20);
    ClearSettings();
    WindowRig rig;
    rig.LoadAndShow();
    QTest::keyClicks(rig.Get<QComboBox>("cboDelay")->lineEdit(),
                     QString::fromStdString(volume->driveText()));
    QTest::mouseClick(rig.Get<QCheckBox>("chkSingle"), Qt::LeftButton, {}, QPoint(6, 8));

    ModalAnswerer answerer;
    bool runningAtRefusal = false;
    std::uint64_t bytesAtRefusal = 0;
    answerer.onBox = [&](const SeenBox& box) {
        if (box.text == kStillRunning) {
            runningAtRefusal = rig.state.gJobRunning;
            bytesAtRefusal = FillerBytes(volume->root());
        }
    };
    Poll exitMidFill([&] {
        if (FillerBytes(volume->root()) == 0) {
            return false;
        }
        rig.Trigger("mnuFileExit");
        return true;
    });
    QTest::mouseClick(rig.Get<QPushButton>("Command5"), Qt::LeftButton);

    ASSERT_TRUE(exitMidFill.done());
    EXPECT_EQ(
        answerer.texts(),
        (std::vector<QString>{
            kStillRunning, "Disk (" + QString::fromStdString(volume->driveName()) + ") cleared."}));
    EXPECT_TRUE(runningAtRefusal);
    EXPECT_GT(bytesAtRefusal, 0u);
    EXPECT_TRUE(FillerFiles(volume->root()).empty());
    EXPECT_TRUE(rig.window->isVisible());
    EXPECT_TRUE(rig.state.gExitRequested);
    EXPECT_TRUE(StoredPlacement().empty());

    // File > Exit was chosen once: the close box now ends the program, without a message.
    EXPECT_TRUE(rig.window->close());
    EXPECT_FALSE(rig.window->isVisible());
    EXPECT_EQ(answerer.boxes.size(), 2u);
    EXPECT_EQ(StoredPlacement().size(), 4u);
}

TEST(ExitRules, FileExitClosesTheDonationWindowBeforeTheMainWindow) {
    app::AppWindows windows;
    WindowRig rig(makeSystemPlatform(), &windows);
    rig.LoadAndShow();
    QPointer<app::frmDonate> donate = windows.Donate();
    ASSERT_NE(donate, nullptr);
    ASSERT_TRUE(donate->isVisible());

    bool mainVisibleWhenDonateClosed = false;
    struct CloseWatch : QObject {
        std::function<void()> seen;
        bool eventFilter(QObject* /*watched*/, QEvent* event) override {
            if (event->type() == QEvent::Close) {
                seen();
            }
            return false;
        }
    } watch;
    watch.seen = [&] { mainVisibleWhenDonateClosed = rig.window->isVisible(); };
    donate->installEventFilter(&watch);

    rig.Trigger("mnuFileExit");
    EXPECT_TRUE(mainVisibleWhenDonateClosed);
    EXPECT_EQ(windows.Donate(), nullptr);
    EXPECT_FALSE(rig.window->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(donate.isNull());
}

TEST(ExitRules, FileExitWritesThePlacementInTwips) {
    ClearSettings();
    WindowRig rig;
    rig.LoadAndShow();
    rig.window->move(80, 60); // 1200 and 900 twips at 96 dpi
    QTest::qWait(20);
    const QRect outer = rig.window->frameGeometry();
    ModalAnswerer answerer;
    rig.Trigger("mnuFileExit");

    EXPECT_TRUE(answerer.boxes.empty());
    EXPECT_FALSE(rig.window->isVisible());
    const auto stored = StoredPlacement();
    const std::map<QString, QString> expected = {
        {"Settings/MainLeft", TwipsX(*rig.window, outer.x())},
        {"Settings/MainTop", TwipsY(*rig.window, outer.y())},
        {"Settings/MainWidth", TwipsX(*rig.window, outer.width())},
        {"Settings/MainHeight", TwipsY(*rig.window, outer.height())},
    };
    EXPECT_EQ(stored, expected);
    if (rig.window->logicalDpiX() == 96 && outer.topLeft() == QPoint(80, 60)) {
        EXPECT_EQ(stored.at("Settings/MainLeft"), "1200");
        EXPECT_EQ(stored.at("Settings/MainTop"), "900");
    }
    EXPECT_EQ(QFileInfo(SettingsFile()).fileName(), "Klarvenor.conf");
}

// A store that cannot be written is told once, and File > Exit still ends the program.
TEST(ExitRules, AStoreThatCannotBeWrittenIsToldOnceAndTheWindowStillCloses) {
    ClearSettings();
    const QString folder = QFileInfo(SettingsFile()).absolutePath();
    QDir(folder).removeRecursively();
    QFile blocker(folder); // a file where the store's folder should be
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    WindowRig rig;
    rig.LoadAndShow();
    ModalAnswerer answerer;
    rig.Trigger("mnuFileExit");
    QFile::remove(folder);

    ASSERT_EQ(answerer.texts().size(), 1u);
    EXPECT_TRUE(
        answerer.texts()[0].startsWith("The window position could not be saved (MainLeft): "))
        << answerer.texts()[0].toStdString();
    EXPECT_FALSE(rig.window->isVisible());
}

TEST(ExitRules, NothingIsWrittenWhenMinimised) {
    ClearSettings();
    WindowRig rig;
    rig.LoadAndShow();
    rig.window->showMinimized();
    QTest::qWait(20);
    ASSERT_TRUE(rig.window->isMinimized());
    rig.Trigger("mnuFileExit");
    EXPECT_FALSE(rig.window->isVisible());
    EXPECT_TRUE(StoredPlacement().empty());
}

TEST(ExitRules, TheStoredPlacementDoesNotChangeTheNextStart) {
    QSize designed;
    {
        WindowRig first;
        first.LoadAndShow();
        designed = first.window->size();
    }
    {
        QSettings store(SettingsFile(), QSettings::IniFormat);
        store.setValue("Settings/MainWidth", "15000");
        store.setValue("Settings/MainHeight", "9000");
    }
    WindowRig second;
    second.LoadAndShow();
    EXPECT_EQ(second.window->size(), designed);
}

} // namespace
} // namespace klar::uitest
