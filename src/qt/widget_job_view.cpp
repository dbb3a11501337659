#include "qt/widget_job_view.h"

#include "qt/message_box.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace klar::ui {

std::string WidgetJobView::driveText() {
    return c_.cboDelay->currentText().toStdString();
}

bool WidgetJobView::isChecked(MethodBox box) {
    return c_.methods[static_cast<std::size_t>(box)]->isChecked();
}

void WidgetJobView::DrawCaption(Caption which, const std::string& text) {
    // Setting a label's text lays it out; it is painted with the window's next paint.
    Label(which)->setText(QString::fromStdString(text));
}

void WidgetJobView::PaintCaptionNow(Caption which) {
    Label(which)->repaint();
}

void WidgetJobView::DrawProgress(int value) {
    // The bar would repaint itself there and then; it is painted with the labels instead.
    c_.ProgressBar1->setUpdatesEnabled(false);
    c_.ProgressBar1->setValue(value);
    c_.ProgressBar1->setUpdatesEnabled(true);
    c_.ProgressBar1->update();
}

void WidgetJobView::PumpEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void WidgetJobView::setAbortVisible(bool visible) {
    ShowPending();
    c_.btnAbort->setVisible(visible);
    if (visible) {
        c_.btnAbort->repaint();
    }
}

void WidgetJobView::focusDriveList() {
    c_.cboDelay->setFocus(Qt::OtherFocusReason);
}

void WidgetJobView::focusClearButton() {
    c_.Command5->setFocus(Qt::OtherFocusReason);
}

void WidgetJobView::showMessage(const std::string& text) {
    ShowPending();
    MsgBox(c_.window, QString::fromStdString(text));
}

} // namespace klar::ui
