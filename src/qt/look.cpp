#include "qt/look.h"

#include <QStringList>

namespace klar::ui {
namespace {

QString Rgb(const QColor& c) {
    return QStringLiteral("rgb(%1, %2, %3)").arg(c.red()).arg(c.green()).arg(c.blue());
}

void RegisterSubstitutes() {
    static const bool done = [] {
        QFont::insertSubstitutions(QString::fromLatin1(kDesignFamily),
                                   {QStringLiteral("Liberation Sans"),
                                    QStringLiteral("Microsoft Sans Serif"),
                                    QStringLiteral("Arial")});
        return true;
    }();
    (void)done;
}

} // namespace

QFont DesignFont(bool bold) {
    RegisterSubstitutes();
    QFont font(QString::fromLatin1(kDesignFamily));
    font.setPointSizeF(kDesignPointSize);
    font.setBold(bold);
    return font;
}

QString ColouredButtonStyle(const QColor& face) {
    // A raised face: light edges at the top and left, dark ones at the bottom and right;
    // swapped while pressed, black all round while the button has the focus.
    return QStringLiteral("QPushButton { background-color: %1; color: black; padding: 0px;"
                          " border-style: solid; border-width: 2px;"
                          " border-color: white rgb(64, 64, 64) rgb(64, 64, 64) white; }"
                          " QPushButton:pressed {"
                          " border-color: rgb(64, 64, 64) white white rgb(64, 64, 64); }"
                          " QPushButton:focus { border-color: black; }")
        .arg(Rgb(face));
}

QString ProgressBarStyle(const QColor& bar) {
    return QStringLiteral("QProgressBar { border: 1px solid rgb(128, 128, 128);"
                          " background-color: palette(window); }"
                          " QProgressBar::chunk { background-color: %1; }")
        .arg(Rgb(bar));
}

QString CheckBoxStyle() {
    return QStringLiteral("QCheckBox { spacing: 3px; }");
}

} // namespace klar::ui
