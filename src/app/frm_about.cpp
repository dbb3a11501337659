#include "frm_about.h"

#include "look.h"
#include "message_box.h"
#include "web_pages.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace klar::app {
namespace {

constexpr const char* kWhatItDoes =
    "Klarvenor secure disk drive surface cleaner.  Allows you to make certain that information "
    "in deleted files cannot be recovered.  DOD-compliant.";
constexpr const char* kWhatItDoesNot =
    "Klarvenor does NOT delete existing files.  Before using this program, make sure you have "
    "deleted all files, that you wish to have permanently deleted, and empty your Recycle Bin.  "
    "After Klarvenor has finished, none of the information within those deleted files will be "
    "recoverable.";

} // namespace

QString VersionText(const AppVersion& version) {
    return QStringLiteral("Version %1.%2.%3")
        .arg(version.major)
        .arg(version.minor)
        .arg(version.revision);
}

frmAbout::frmAbout(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Klarvenor"));
    setFont(ui::DesignFont(false));

    picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setPixmap(QApplication::windowIcon().pixmap(48, 48));
    lblTitle = new QLabel(this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont = ui::DesignFont(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 2);
    lblTitle->setFont(titleFont);
    lblVersion = new QLabel(this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblDescription = new QLabel(this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblDescription->setTextFormat(Qt::PlainText);
    lblDescription->setWordWrap(true);
    lblDescription->setText(QString::fromLatin1(kWhatItDoes) + QStringLiteral("  ") +
                            QString::fromLatin1(kWhatItDoesNot));
    Command1 = new QPushButton(QStringLiteral("&License Agreement"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setAutoDefault(false);
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);

    auto* grid = new QGridLayout(this);
    grid->addWidget(picIcon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(lblTitle, 0, 1);
    grid->addWidget(lblVersion, 1, 1);
    grid->addWidget(lblDescription, 2, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    buttons->addWidget(cmdOK);
    grid->addLayout(buttons, 3, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    lblDescription->setMinimumWidth(360);

    connect(Command1, &QPushButton::clicked, this, &frmAbout::Command1_Click);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
}

void frmAbout::Form_Load() {
    lblVersion->setText(VersionText(kAppVersion));
    lblTitle->setText(QString::fromLatin1(ui::kAppTitle));
}

void frmAbout::Command1_Click() {
    OpenMakerPage(kLicencePage);
}

void frmAbout::cmdOK_Click() {
    accept();
}

} // namespace klar::app
