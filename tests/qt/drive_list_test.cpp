// The drive list as the window offers it: from a given drive string and from the real system.
#include "qt/look.h"
#include "qt/twips.h"
#include "test_volume.h"
#include "ui_rig.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

namespace klar::uitest {
namespace {

QStringList Items(const QComboBox& box) {
    QStringList items;
    for (int i = 0; i < box.count(); ++i) {
        items << box.itemText(i);
    }
    return items;
}

std::string Drives(std::initializer_list<const char*> roots) {
    std::string text;
    for (const char* root : roots) {
        text += root;
        text.push_back('\0');
    }
    text.push_back('\0');
    return text;
}

TEST(WindowDriveList, OffersTheDrivesInTheSystemsOrderWithNothingSelected) {
    WindowRig rig(std::make_unique<GivenDrives>(Drives({"A:\\", "C:\\", "D:\\"})));
    rig.LoadAndShow();
    auto* box = rig.Get<QComboBox>("cboDelay");
    EXPECT_EQ(Items(*box), (QStringList{"A", "C", "D"}));
    EXPECT_EQ(box->currentIndex(), -1);
    EXPECT_EQ(box->currentText(), QString());
}

TEST(WindowDriveList, UpperCasesALowerCaseLetter) {
    WindowRig rig(std::make_unique<GivenDrives>(Drives({"c:\\", "z:\\"})));
    rig.LoadAndShow();
    EXPECT_EQ(Items(*rig.Get<QComboBox>("cboDelay")), (QStringList{"C", "Z"}));
}

TEST(WindowDriveList, AnEmptyDriveStringGivesAnEmptyListAndTheWindowStillOpens) {
    WindowRig rig(std::make_unique<GivenDrives>(std::string()));
    rig.LoadAndShow();
    EXPECT_EQ(rig.Get<QComboBox>("cboDelay")->count(), 0);
    EXPECT_TRUE(rig.window->isVisible());
}

/// Pixels of text the drive box's edit field cannot show.
int HiddenText(QComboBox& box, const QString& text) {
    return QFontMetrics(box.font()).horizontalAdvance(text) -
           box.lineEdit()->contentsRect().width();
}

TEST(WindowDriveList, TheDriveBoxAndItsListShowWholeMountPathsAndTheTopRowMakesRoom) {
    if (!ui::kDriveBoxFitsPaths) {
        GTEST_SKIP() << "drives are letters here";
    }
    const QString typical = QString::fromLatin1(ui::kTypicalDrivePath);
    const QString longer = QStringLiteral("/media/someone/A Rather Long Volume Label");
    WindowRig rig(std::make_unique<GivenDrives>(Drives({"/", ui::kTypicalDrivePath})));
    auto* box = rig.Get<QComboBox>("cboDelay");
    rig.LoadAndShow();
    EXPECT_EQ(Items(*box), (QStringList{"/", typical}));
    const auto rowFits = [&] {
        const QRect clear = rig.Get<QWidget>("Command5")->geometry();
        const QRect abort = rig.Get<QWidget>("btnAbort")->geometry();
        EXPECT_LT(box->geometry().right(), clear.left());
        EXPECT_LE(clear.right(), abort.left()); // as designed, they share their edge pixel
        EXPECT_LE(abort.right(), rig.window->centralWidget()->width());
        EXPECT_LE(rig.Get<QWidget>("Label8")->geometry().right(),
                  rig.window->centralWidget()->width());
    };

    box->setCurrentIndex(1);
    EXPECT_LE(HiddenText(*box, typical), 0);
    rowFits();

    const int before = rig.window->width();
    QTest::keyClicks(box->lineEdit(), QStringLiteral("x"));
    box->setEditText(QString());
    QTest::keyClicks(box->lineEdit(), longer);
    QApplication::processEvents();
    EXPECT_LE(HiddenText(*box, longer), 0);
    EXPECT_GT(rig.window->width(), before);
    EXPECT_GT(rig.window->centralWidget()->width(),
              ui::TwipsRect(*rig.window, 0, 0, 4635, 2385).width());
    rowFits();

    box->showPopup();
    QAbstractItemView* list = box->view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(list->window()));
    EXPECT_GE(list->viewport()->width(), QFontMetrics(list->font()).horizontalAdvance(typical));
    box->hidePopup();
}

TEST(WindowDriveList, TheRealMountTableOffersAFreshlyMountedVolume) {
    KLAR_REQUIRE_VOLUME(volume, test::MakeRamVolume, 4u << 20);
    WindowRig rig;
    rig.LoadAndShow();
    const QStringList items = Items(*rig.Get<QComboBox>("cboDelay"));
    EXPECT_TRUE(items.contains(QString::fromStdString(volume->root())))
        << items.join(", ").toStdString();
    EXPECT_FALSE(items.contains("/proc"));
    EXPECT_EQ(rig.Get<QComboBox>("cboDelay")->currentText(), QString());
}

} // namespace
} // namespace klar::uitest
