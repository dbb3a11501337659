// Jobs through the real window on real volumes: what the user types and clicks, what the
// window shows and what is left on the volume.
#include "qt/app_windows.h"
#include "test_volume.h"
#include "ui_rig.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

namespace klar::uitest {
namespace {

void ChooseDriveAndMethod(const WindowRig& rig, const test::TestVolume& volume,
                          const char* method) {
    QLineEdit* edit = rig.Get<QComboBox>("cboDelay")->lineEdit();
    edit->clear();
    QTest::keyClicks(edit, QString::fromStdString(volume.driveText()));
    auto* box = rig.Get<QCheckBox>(method);
    if (!box->isChecked()) {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }
}

void ClickClearDrive(const WindowRig& rig) {
    QTest::mouseClick(rig.Get<QPushButton>("Command5"), Qt::LeftButton);
}

QString Cleared(const test::TestVolume& volume) {
    return "Disk (" + QString::fromStdString(volume.driveName()) + ") cleared.";
}

TEST(WindowJob, ASingleSweepClearsTheVolumeAndLeavesTheDisplayAsTheLastBlockSetIt) {
    KLAR_REQUIRE_VOLUME(volume, test::MakeRamVolume, 64u << 20);
    const std::string mine = test::JoinPath(volume->root(), "00000001.txt");
    const std::string mineContent = "the user's own file";
    test::WriteWholeFile(mine, mineContent);
    WindowRig rig;
    rig.LoadAndShow();
    ChooseDriveAndMethod(rig, *volume, "chkSingle");

    ModalAnswerer answerer;
    std::uint64_t mostFiller = 0;
    bool abortShownDuringJob = false;
    int remainingChecked = 0;
    std::vector<std::string> staleRemaining;
    const QRegularExpression remainingText("^Remaining: (\\d+) bytes$");
    Poll watch([&] {
        // The user's file has a filler's name too.
        const std::uint64_t filler = FillerBytes(volume->root()) - mineContent.size();
        mostFiller = std::max(mostFiller, filler);
        abortShownDuringJob |= rig.Get<QPushButton>("btnAbort")->isVisible();
        // Whenever the window can paint, "Remaining" shows what the job last measured: the
        // free space now, or a block more if the job yielded between a write and its reading.
        const auto shown = remainingText.match(rig.Caption("Label9"));
        if (filler > 0 && shown.hasMatch()) {
            const auto freeNow = std::filesystem::space(volume->root()).available;
            const auto value = shown.captured(1).toULongLong();
            ++remainingChecked;
            if (value < freeNow || value > freeNow + 65536) {
                staleRemaining.push_back(std::to_string(value) + " while " +
                                         std::to_string(freeNow) + " free");
            }
        }
        return false;
    });
    ClickClearDrive(rig);

    ASSERT_EQ(answerer.boxes.size(), 1u);
    EXPECT_EQ(answerer.boxes[0].text, Cleared(*volume));
    EXPECT_EQ(answerer.boxes[0].title, "Klarvenor");
    EXPECT_TRUE(answerer.boxes[0].noIcon);
    EXPECT_TRUE(answerer.boxes[0].onlyOk);
    EXPECT_GT(mostFiller, 16u << 20) << "the job never filled the volume";
    EXPECT_TRUE(abortShownDuringJob);
    EXPECT_GT(remainingChecked, 0);
    EXPECT_TRUE(staleRemaining.empty()) << staleRemaining.front();

    // Only the user's file is left, untouched.
    EXPECT_EQ(test::ListFolder(volume->root()), std::vector<std::string>{"00000001.txt"});
    const auto content = test::ReadWholeFile(mine);
    EXPECT_EQ(std::string(content.begin(), content.end()), mineContent);

    const auto capacity = std::filesystem::space(volume->root()).capacity;
    EXPECT_EQ(rig.Caption("Label8"), "Pass: 1 of 1");
    EXPECT_EQ(rig.Caption("Label2"), "Pass [1]:");
    EXPECT_EQ(rig.Caption("Label10"), "Drive Capacity: " + QString::number(capacity) + " bytes");
    const auto remaining =
        QRegularExpression("^Remaining: (\\d+) bytes$").match(rig.Caption("Label9"));
    ASSERT_TRUE(remaining.hasMatch()) << rig.Caption("Label9").toStdString();
    EXPECT_LT(remaining.captured(1).toULongLong(), 65536u);
    // The last full block leaves less than a block of 64 MiB free: the bar shows 100.
    EXPECT_EQ(rig.Get<QProgressBar>("ProgressBar1")->value(), 100);
    EXPECT_TRUE(rig.Get<QPushButton>("btnAbort")->isVisible());
    EXPECT_FALSE(rig.state.gJobRunning);
}

TEST(WindowJob, AbortMidFillResetsTheDisplayAndLeavesNoFiller) {
    KLAR_REQUIRE_VOLUME(volume, test::MakeRamVolume, 256u << 20);
    WindowRig rig;
    rig.LoadAndShow();
    ChooseDriveAndMethod(rig, *volume, "chkSingle");

    // A first job runs to its end.
    {
        ModalAnswerer answerer;
        ClickClearDrive(rig);
        ASSERT_EQ(answerer.texts(), std::vector<QString>{Cleared(*volume)});
    }
    const QString capacity = rig.Caption("Label10");

    // The second is stopped with the Abort button while it fills.
    ModalAnswerer answerer;
    std::uint64_t fillerAtClick = 0;
    Poll abortMidFill([&] {
        fillerAtClick = FillerBytes(volume->root());
        if (fillerAtClick == 0 || rig.Caption("Label2") != "Pass [1]:") {
            return false;
        }
        QTest::mouseClick(rig.Get<QPushButton>("btnAbort"), Qt::LeftButton);
        return true;
    });
    ClickClearDrive(rig);

    ASSERT_TRUE(abortMidFill.done());
    EXPECT_GT(fillerAtClick, 0u);
    EXPECT_TRUE(answerer.boxes.empty());
    EXPECT_TRUE(FillerFiles(volume->root()).empty());
    EXPECT_EQ(rig.Caption("Label9"), "Remaining:");
    EXPECT_EQ(rig.Caption("Label2"), "Pass [ ]:");
    EXPECT_EQ(rig.Get<QProgressBar>("ProgressBar1")->value(), 0);
    EXPECT_FALSE(rig.Get<QPushButton>("btnAbort")->isVisible());
    EXPECT_EQ(FocusedControl(*rig.window), "Command5");
    EXPECT_EQ(rig.Caption("Label8"), "Pass: 1 of 1");
    EXPECT_EQ(rig.Caption("Label10"), capacity);
    EXPECT_FALSE(rig.state.gJobRunning);
    EXPECT_FALSE(rig.state.gAbort);
}

TEST(WindowJob, ASecondClearDriveDuringAJobChangesNothing) {
    KLAR_REQUIRE_VOLUME(volume, test::MakeRamVolume, 256u << 20);
    WindowRig rig;
    rig.LoadAndShow();
    ChooseDriveAndMethod(rig, *volume, "chkSingle");

    ModalAnswerer answerer;
    bool nestedReturnedWhileRunning = false;
    Poll secondClick([&] {
        if (FillerBytes(volume->root()) == 0) {
            return false;
        }
        ClickClearDrive(rig);
        nestedReturnedWhileRunning = rig.state.gJobRunning;
        return true;
    });
    ClickClearDrive(rig);

    ASSERT_TRUE(secondClick.done());
    EXPECT_TRUE(nestedReturnedWhileRunning);
    EXPECT_EQ(answerer.texts(), std::vector<QString>{Cleared(*volume)});
    EXPECT_TRUE(FillerFiles(volume->root()).empty());
}

TEST(WindowJob, ABlankDriveIsRefusedAndTheDriveListGetsTheFocus) {
    WindowRig rig;
    rig.LoadAndShow();
    QTest::keyClicks(rig.Get<QComboBox>("cboDelay")->lineEdit(), "   ");
    rig.Get<QPushButton>("Command5")->setFocus();
    ModalAnswerer answerer;
    ClickClearDrive(rig);
    EXPECT_EQ(answerer.texts(), std::vector<QString>{"You must select a drive letter"});
    EXPECT_EQ(FocusedControl(*rig.window), "cboDelay");
    EXPECT_EQ(rig.Caption("Label8"), "Pass: 1 of 3");
    EXPECT_TRUE(rig.Get<QPushButton>("btnAbort")->isVisible());
    EXPECT_FALSE(rig.state.gJobRunning);
}

TEST(WindowJob, TheAboutWindowSuspendsARunningJobUntilItIsClosed) {
    KLAR_REQUIRE_VOLUME(volume, test::MakeRamVolume, 256u << 20);
    app::AppWindows windows;
    WindowRig rig(makeSystemPlatform(), &windows);
    rig.LoadAndShow();
    ChooseDriveAndMethod(rig, *volume, "chkSingle");

    ModalAnswerer answerer;
    std::uint64_t whenOpened = 0;
    std::uint64_t whileOpen = 0;
    answerer.onOther = [&](QWidget* modal) {
        ASSERT_EQ(modal->objectName(), "frmAbout");
        whenOpened = FillerBytes(volume->root());
        QTest::qWait(150);
        whileOpen = FillerBytes(volume->root());
        QTest::mouseClick(modal->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
    };
    Poll openAbout([&] {
        if (FillerBytes(volume->root()) == 0) {
            return false;
        }
        rig.Trigger("mnuHelpAbout");
        return true;
    });
    ClickClearDrive(rig);

    ASSERT_TRUE(openAbout.done());
    EXPECT_GT(whenOpened, 0u);
    EXPECT_EQ(whileOpen, whenOpened);
    EXPECT_EQ(answerer.texts(), std::vector<QString>{Cleared(*volume)});
    EXPECT_TRUE(FillerFiles(volume->root()).empty());
}

} // namespace
} // namespace klar::uitest
