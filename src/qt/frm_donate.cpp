#include "qt/frm_donate.h"

#include "qt/forms.h"
#include "qt/look.h"
#include "qt/twips.h"
#include "qt/web_pages.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace klar::app {

frmDonate::frmDonate() : QWidget(nullptr, Qt::Window) {
    setObjectName(QStringLiteral("frmDonate"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromLatin1(forms::kDonateCaption));
    setFont(ui::DesignFont(true));

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextFormat(Qt::PlainText);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Label1->setText(QString::fromLatin1(forms::kDonateRequest));
    Command1 = new QPushButton(QString::fromLatin1(forms::kDonateButton), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command2 = new QPushButton(QString::fromLatin1(forms::kNotNowButton), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1, 1);
    layout->addWidget(Command1);
    layout->addWidget(Command2, 0, Qt::AlignHCenter);

    connect(Timer1, &QTimer::timeout, this, [this] { rules_.Timer1_Timer(); });
    connect(Command1, &QPushButton::clicked, this, [this] { rules_.Command1_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { rules_.Command2_Click(); });
}

void frmDonate::Form_Load() {
    loaded_ = true;
    ui::Forms::Loaded(this);
    rules_.Form_Load();
}

void frmDonate::SetOuterSizeTwips(int width, int height) {
    resize(ui::TwipsRect(*this, 0, 0, width, height).size());
}

void frmDonate::StartTimer(int intervalMs) {
    Timer1->start(intervalMs);
}

void frmDonate::StopTimer() {
    Timer1->stop();
}

void frmDonate::BringToFront() {
    show();
    raise();
    activateWindow();
}

void frmDonate::OpenPage(const std::string& address) {
    OpenWebPage(QUrl(QString::fromStdString(address)));
}

void frmDonate::Unload() {
    close();
}

void frmDonate::closeEvent(QCloseEvent* event) {
    loaded_ = false;
    Timer1->stop();
    ui::Forms::Unloaded(this);
    event->accept();
}

} // namespace klar::app
