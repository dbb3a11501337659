#include "frm_donate.h"

#include "forms.h"
#include "look.h"
#include "twips.h"
#include "web_pages.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace klar::app {

frmDonate::frmDonate() : QWidget(nullptr, Qt::Window) {
    setObjectName(QStringLiteral("frmDonate"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Please make a donation."));
    setFont(ui::DesignFont(true));

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextFormat(Qt::PlainText);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Label1->setText(QStringLiteral(
        "Producing quality Shareware is a time-consuming and expensive activity.  Won't you "
        "please consider making a small donation in order to insure a continued availability "
        "of quality utilities?  Just click the link below and you'll be taken to a web site "
        "(PayPal) where you can make a secure donation of your choice."));
    Command1 = new QPushButton(
        QStringLiteral("&Click to make a secure donation for Klarvenor.  Thanks!!!"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command2 = new QPushButton(QStringLiteral("Perhaps another time."), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(200);
    Timer1->setSingleShot(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1, 1);
    layout->addWidget(Command1);
    layout->addWidget(Command2, 0, Qt::AlignHCenter);

    connect(Timer1, &QTimer::timeout, this, &frmDonate::Timer1_Timer);
    connect(Command1, &QPushButton::clicked, this, &frmDonate::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmDonate::Command2_Click);
}

void frmDonate::Form_Load() {
    loaded_ = true;
    ui::Forms::Loaded(this);
    resize(ui::TwipsRect(*this, 0, 0, 8535, 3630).size());
    Timer1->start();
}

void frmDonate::Timer1_Timer() {
    // Loaded while the main window was still being loaded: showing it again now puts it in
    // front of the freshly shown main window.
    Timer1->stop();
    show();
    raise();
    activateWindow();
}

void frmDonate::Command1_Click() {
    OpenMakerPage(kProductPage);
}

void frmDonate::Command2_Click() {
    close();
}

void frmDonate::closeEvent(QCloseEvent* event) {
    loaded_ = false;
    Timer1->stop();
    ui::Forms::Unloaded(this);
    event->accept();
}

} // namespace klar::app
