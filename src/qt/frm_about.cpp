#include "qt/frm_about.h"

#include "qt/look.h"
#include "qt/message_box.h"
#include "qt/web_pages.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace klar::app {

QString VersionText(const AppVersion& version) {
    return QString::fromStdString(forms::VersionText(version));
}

frmAbout::frmAbout(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QString::fromLatin1(forms::kAboutCaption));
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
    lblDescription->setText(QString::fromStdString(forms::AboutDescription()));
    Command1 = new QPushButton(QString::fromLatin1(forms::kLicenseButton), this);
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

    connect(Command1, &QPushButton::clicked, this, [this] { rules_.Command1_Click(); });
    connect(cmdOK, &QPushButton::clicked, this, [this] { rules_.cmdOK_Click(); });
}

void frmAbout::Form_Load() {
    rules_.Form_Load();
}

void frmAbout::SetTitle(const std::string& text) {
    lblTitle->setText(QString::fromStdString(text));
}

void frmAbout::SetVersion(const std::string& text) {
    lblVersion->setText(QString::fromStdString(text));
}

void frmAbout::OpenPage(const std::string& address) {
    OpenWebPage(QUrl(QString::fromStdString(address)));
}

void frmAbout::Unload() {
    accept();
}

} // namespace klar::app
