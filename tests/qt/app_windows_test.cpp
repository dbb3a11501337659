// Start-up, the About window and the donation window.
#include "qt/app_windows.h"
#include "qt/forms.h"
#include "qt/frm_about.h"
#include "qt/startup.h"
#include "ui_rig.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace klar::uitest {
namespace {

/// Takes the pages the program asks the desktop to open.
class PageCatcher : public QObject {
    Q_OBJECT

public:
    PageCatcher() { QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open"); }
    ~PageCatcher() override { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }
    QStringList opened;

public slots:
    void open(const QUrl& url) { opened << url.toString(); }
};

QString Text(QWidget* window, const char* name) {
    if (auto* label = window->findChild<QLabel*>(QString::fromLatin1(name))) {
        return label->text();
    }
    if (auto* button = window->findChild<QAbstractButton*>(QString::fromLatin1(name))) {
        return button->text();
    }
    return QStringLiteral("(no %1)").arg(QString::fromLatin1(name));
}

// ---- About

TEST(AboutWindow, ShowsTitleVersionAndDescriptionModalToTheMainWindow) {
    app::AppWindows windows;
    WindowRig rig(makeSystemPlatform(), &windows);
    rig.LoadAndShow();
    rig.Get<QCheckBox>("chkNSA")->setChecked(false);

    ModalAnswerer answerer;
    bool seen = false;
    answerer.onOther = [&](QWidget* about) {
        seen = true;
        EXPECT_EQ(about->objectName(), "frmAbout");
        EXPECT_EQ(about->windowTitle(), "About Klarvenor");
        EXPECT_EQ(about->parentWidget(), rig.window.get());
        EXPECT_EQ(Text(about, "lblTitle"), "Klarvenor");
        EXPECT_EQ(Text(about, "lblVersion"), "Version " KLAR_PROJECT_VERSION);
        EXPECT_EQ(Text(about, "lblDescription"),
                  "Klarvenor secure disk drive surface cleaner.  Allows you to make certain that "
                  "information in deleted files cannot be recovered.  DOD-compliant.  Klarvenor "
                  "does NOT delete existing files.  Before using this program, make sure you "
                  "have deleted all files, that you wish to have permanently deleted, and empty "
                  "your Recycle Bin.  After Klarvenor has finished, none of the information "
                  "within those deleted files will be recoverable.");
        EXPECT_EQ(Text(about, "Command1"), "&License Agreement");
        EXPECT_EQ(Text(about, "cmdOK"), "OK");
        EXPECT_FALSE(about->findChild<QLabel*>("picIcon")->pixmap().isNull());

        // A click on the main window goes nowhere while About is open.
        auto* nsa = rig.Get<QCheckBox>("chkNSA");
        QTest::mouseClick(rig.window->windowHandle(), Qt::LeftButton, {},
                          nsa->mapTo(rig.window.get(), QPoint(6, nsa->height() / 2)));
        EXPECT_FALSE(nsa->isChecked());

        QTest::mouseClick(about->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
    };
    rig.Trigger("mnuHelpAbout");
    EXPECT_TRUE(seen);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_FALSE(ui::Forms::All().contains(nullptr));
}

TEST(AboutWindow, VersionTextIsMadeFromTheThreeNumbers) {
    EXPECT_EQ(app::VersionText({1, 0, 73}), "Version 1.0.73");
    EXPECT_EQ(app::VersionText({2, 10, 5}), "Version 2.10.5");
    EXPECT_EQ(app::VersionText(app::kAppVersion), "Version " KLAR_PROJECT_VERSION);
}

TEST(AboutWindow, LicenseAgreementOpensTheLicencePageAndAboutStaysOpen) {
    PageCatcher pages;
    QWidget owner;
    app::frmAbout about(&owner);
    about.Form_Load();
    about.show();
    QTest::mouseClick(about.findChild<QPushButton*>("Command1"), Qt::LeftButton);
    EXPECT_EQ(pages.opened, QStringList{"https://www.klarvenor.example/eulaklarvenor.html"});
    EXPECT_TRUE(about.isVisible());
}

// ---- Donation window

TEST(DonationWindow, ShowsItsRequestAndButtons) {
    app::AppWindows windows;
    windows.ShowDonate();
    app::frmDonate* donate = windows.Donate();
    ASSERT_NE(donate, nullptr);
    EXPECT_EQ(donate->windowTitle(), "Please make a donation.");
    EXPECT_EQ(Text(donate, "Label1"),
              "Producing quality Shareware is a time-consuming and expensive activity.  Won't "
              "you please consider making a small donation in order to insure a continued "
              "availability of quality utilities?  Just click the link below and you'll be taken "
              "to a web site (PayPal) where you can make a secure donation of your choice.");
    EXPECT_EQ(Text(donate, "Command1"),
              "&Click to make a secure donation for Klarvenor.  Thanks!!!");
    EXPECT_EQ(Text(donate, "Command2"), "Perhaps another time.");
    EXPECT_EQ(donate->parentWidget(), nullptr);
    EXPECT_FALSE(donate->isModal());
    const double dpi = donate->logicalDpiX();
    EXPECT_EQ(donate->size(), QSize(qRound(8535 * dpi / 1440), qRound(3630 * dpi / 1440)));
    CloseStrayWindows();
}

TEST(DonationWindow, ComesToTheFrontAbout200MsAfterLoad) {
    app::AppWindows windows;
    WindowRig rig(makeSystemPlatform(), &windows);
    QElapsedTimer sinceLoad;
    sinceLoad.start();
    rig.window->Form_Load(); // opens the donation window before the main window shows
    rig.window->show();
    rig.window->activateWindow();
    app::frmDonate* donate = windows.Donate();
    ASSERT_NE(donate, nullptr);
    auto* timer = donate->findChild<QTimer*>("Timer1");
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 200);
    EXPECT_TRUE(timer->isSingleShot());

    bool mainWasActive = false;
    qint64 frontAt = -1;
    Poll watch([&] {
        QWidget* active = QApplication::activeWindow();
        mainWasActive |= active == rig.window.get();
        if (mainWasActive && active == donate) {
            frontAt = sinceLoad.elapsed();
            return true;
        }
        return false;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return watch.done(); }, 3000))
        << "the donation window never came in front of the main window";
    EXPECT_GE(frontAt, 190);
    EXPECT_FALSE(timer->isActive());
}

TEST(DonationWindow, DonateReusesTheOpenWindowAndMakesANewOneAfterItWasClosed) {
    app::AppWindows windows;
    windows.ShowDonate();
    QPointer<app::frmDonate> first = windows.Donate();
    ASSERT_NE(first, nullptr);
    QTest::qWait(300); // the single tick has fired
    windows.ShowDonate();
    EXPECT_EQ(windows.Donate(), first);
    EXPECT_FALSE(first->findChild<QTimer*>("Timer1")->isActive()) << "loaded again";

    QTest::mouseClick(first->findChild<QPushButton*>("Command2"), Qt::LeftButton);
    EXPECT_FALSE(first->isVisible());
    EXPECT_EQ(windows.Donate(), nullptr);
    windows.ShowDonate();
    ASSERT_NE(windows.Donate(), nullptr);
    EXPECT_NE(windows.Donate(), first.data());
    EXPECT_TRUE(windows.Donate()->findChild<QTimer*>("Timer1")->isActive());
    CloseStrayWindows();
}

TEST(DonationWindow, TheDonationButtonOpensTheProductPageAndTheWindowStays) {
    PageCatcher pages;
    app::AppWindows windows;
    windows.ShowDonate();
    app::frmDonate* donate = windows.Donate();
    ASSERT_NE(donate, nullptr);
    QTest::mouseClick(donate->findChild<QPushButton*>("Command1"), Qt::LeftButton);
    EXPECT_EQ(pages.opened, QStringList{"https://www.klarvenor.example/klarvenor.html"});
    EXPECT_TRUE(donate->isVisible());
    CloseStrayWindows();
}

// ---- Start-up

TEST(StartUp, MainGivesTheStartValuesAndOpensTheMainWindowAfterTheDonationWindow) {
    app::Module1 program;
    program.state.gJobRunning = true;
    program.state.gAbort = true;
    program.state.gExitRequested = true;
    app::Main(program);

    EXPECT_FALSE(program.state.gJobRunning);
    EXPECT_FALSE(program.state.gAbort);
    EXPECT_FALSE(program.state.gExitRequested);
    EXPECT_EQ(program.state.gPassCount, 3);
    EXPECT_EQ(program.state.gPattern[1], std::optional<std::uint8_t>(53));
    EXPECT_EQ(program.state.gPattern[2], std::optional<std::uint8_t>(202));
    EXPECT_EQ(program.state.gPattern[3], std::optional<std::uint8_t>(151));
    ASSERT_NE(program.main, nullptr);
    EXPECT_TRUE(program.main->isVisible());
    ASSERT_NE(program.windows.Donate(), nullptr);
    const QList<QWidget*> forms = ui::Forms::All();
    ASSERT_GE(forms.size(), 2);
    EXPECT_EQ(forms[0], program.main.get());
    EXPECT_EQ(forms[1], program.windows.Donate());
    EXPECT_FALSE(QApplication::windowIcon().isNull());

    program.state.gExitRequested = true;
    EXPECT_TRUE(program.main->close());
    EXPECT_EQ(program.windows.Donate(), nullptr);
    CloseStrayWindows();
}

} // namespace
} // namespace klar::uitest

#include "app_windows_test.moc"
