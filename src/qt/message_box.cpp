#include "qt/message_box.h"

#include <QMessageBox>

namespace klar::ui {

void MsgBox(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kAppTitle), text, QMessageBox::Ok,
                    owner);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace klar::ui
