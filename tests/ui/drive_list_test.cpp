// The drive list as the window offers it: from a given drive string and from the real system.
#include "test_volume.h"
#include "ui_rig.h"

#include <QAbstractItemView>
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

TEST(WindowDriveList, TheListShowsWholeMountPathsWhileTheEditFieldKeepsItsPlace) {
    const char* longPath = "/media/someone/A Rather Long Volume Label";
    WindowRig rig(std::make_unique<GivenDrives>(Drives({"/", longPath})));
    auto* box = rig.Get<QComboBox>("cboDelay");
    const QRect designed = box->geometry();
    rig.LoadAndShow();
    EXPECT_EQ(Items(*box), (QStringList{"/", longPath}));
    EXPECT_EQ(box->geometry(), designed);

    box->showPopup();
    QAbstractItemView* list = box->view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(list->window()));
    const int needed = QFontMetrics(list->font()).horizontalAdvance(QString::fromUtf8(longPath));
    EXPECT_GE(list->viewport()->width(), needed);
    EXPECT_GT(list->window()->width(), designed.width());
    EXPECT_EQ(box->geometry(), designed);
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
