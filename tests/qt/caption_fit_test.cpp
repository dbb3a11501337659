// Every caption fits its control in the font the program draws it with. The same check must
// fail for a wider font, or it would prove nothing.
#include "forms/main_layout.h"
#include "qt/look.h"
#include "ui_rig.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <gtest/gtest.h>

namespace klar::uitest {
namespace {

/// Pixels a caption needs beyond the room its control gives it (0 or less: it fits).
int Overflow(QWidget* control, const QString& caption) {
    const QFontMetrics metrics(control->font());
    const int text = metrics.size(Qt::TextShowMnemonic, caption).width();
    if (auto* box = qobject_cast<QCheckBox*>(control)) {
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = caption;
        const QRect room = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
        return text - room.width();
    }
    if (auto* button = qobject_cast<QPushButton*>(control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = caption;
        const QRect room =
            button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        return std::max(text - room.width(), metrics.height() - room.height());
    }
    const QRect room = control->contentsRect();
    return std::max(text - room.width(), metrics.height() - room.height());
}

struct Caption {
    const char* control;
    QString text;
};

/// The captions of the window's table and the longest texts a job writes.
std::vector<Caption> Captions() {
    std::vector<Caption> captions = {
        {"Label2", "Pass [38]:"},
        {"Label8", "Pass: 38 of 38"},
        {"Label9", "Remaining: 18446744073709551615 bytes"},
        {"Label10", "Drive Capacity: 18446744073709551615 bytes"},
    };
    for (const forms::ControlDesign& design : forms::kMainControls) {
        if (design.kind == forms::ControlKind::Label || design.kind == forms::ControlKind::Button ||
            design.kind == forms::ControlKind::CheckBox) {
            captions.push_back({design.name, QString::fromUtf8(design.caption)});
        }
    }
    return captions;
}

std::vector<std::string> Misfits(const WindowRig& rig) {
    std::vector<std::string> misfits;
    for (const Caption& caption : Captions()) {
        const int overflow = Overflow(rig.Get<QWidget>(caption.control), caption.text);
        if (overflow > 0) {
            misfits.push_back(std::string(caption.control) + " \"" + caption.text.toStdString() +
                              "\" by " + std::to_string(overflow) + " px");
        }
    }
    return misfits;
}

void UseFont(const WindowRig& rig, const QFont& regular, const QFont& bold) {
    for (const Caption& caption : Captions()) {
        QWidget* control = rig.Get<QWidget>(caption.control);
        control->setFont(qobject_cast<QCheckBox*>(control) ? regular : bold);
    }
}

std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (const auto& item : items) {
        text += item + "; ";
    }
    return text;
}

TEST(CaptionFit, TheDesignFaceIsReplacedByLiberationSans) {
#if defined(Q_OS_LINUX)
    EXPECT_EQ(QFontInfo(ui::DesignFont(true)).family(), "Liberation Sans")
        << "install fonts-liberation2";
    EXPECT_EQ(QFontInfo(ui::DesignFont(false)).family(), "Liberation Sans");
#else
    GTEST_SKIP() << "the substitute is chosen for Linux desktops";
#endif
}

TEST(CaptionFit, EveryCaptionFitsInTheProgramsFont) {
    WindowRig rig;
    rig.LoadAndShow();
    EXPECT_TRUE(Misfits(rig).empty()) << Joined(Misfits(rig));
}

TEST(CaptionFit, TheCheckFailsForAWiderFont) {
    WindowRig rig;
    rig.LoadAndShow();
    QFont regular = ui::DesignFont(false);
    QFont bold = ui::DesignFont(true);
    regular.setPointSizeF(regular.pointSizeF() * 1.15);
    bold.setPointSizeF(bold.pointSizeF() * 1.15);
    UseFont(rig, regular, bold);
    EXPECT_FALSE(Misfits(rig).empty());

    // The face a desktop falls back to when the substitute is missing.
    if (QFontDatabase::hasFamily(QStringLiteral("DejaVu Sans"))) {
        QFont fallback(QStringLiteral("DejaVu Sans"));
        fallback.setPointSizeF(ui::kDesignPointSize);
        QFont fallbackBold = fallback;
        fallbackBold.setBold(true);
        UseFont(rig, fallback, fallbackBold);
        EXPECT_FALSE(Misfits(rig).empty());
    }
}

} // namespace
} // namespace klar::uitest
