#include "widget_job_view.h"

#include "message_box.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <cmath>

namespace klar::ui {

WidgetJobView::WidgetJobView(const JobControls& controls) : c_(controls) {
    captions_[static_cast<std::size_t>(Caption::Label2)].label = c_.Label2;
    captions_[static_cast<std::size_t>(Caption::Label8)].label = c_.Label8;
    captions_[static_cast<std::size_t>(Caption::Label9)].label = c_.Label9;
    captions_[static_cast<std::size_t>(Caption::Label10)].label = c_.Label10;
}

std::string WidgetJobView::driveText() {
    return c_.cboDelay->currentText().toStdString();
}

bool WidgetJobView::isChecked(MethodBox box) {
    return c_.methods[static_cast<std::size_t>(box)]->isChecked();
}

void WidgetJobView::setCaption(Caption which, const std::string& text) {
    PendingCaption& caption = captions_[static_cast<std::size_t>(which)];
    caption.text.assign(text);
    caption.changed = true;
    if (which == Caption::Label8) {
        ShowPending();
        c_.Label8->repaint();
    }
}

void WidgetJobView::ShowPending() {
    for (PendingCaption& caption : captions_) {
        if (caption.changed) {
            caption.changed = false;
            caption.label->setText(QString::fromStdString(caption.text));
        }
    }
    if (pendingProgress_ >= 0) {
        // The bar would repaint itself there and then; it is painted with the labels instead.
        c_.ProgressBar1->setUpdatesEnabled(false);
        c_.ProgressBar1->setValue(pendingProgress_);
        c_.ProgressBar1->setUpdatesEnabled(true);
        c_.ProgressBar1->update();
        pendingProgress_ = -1;
    }
}

void WidgetJobView::setProgress(float percent) {
    // The bar moves in whole steps: a new value only when the step changes.
    const int value = std::clamp(static_cast<int>(std::lround(percent)), 0, 100);
    pendingProgress_ = value != c_.ProgressBar1->value() ? value : -1;
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

void WidgetJobView::yield() {
    if (sincePump_.isValid() && ++yieldsUnchecked_ < kYieldsPerClockRead) {
        return;
    }
    yieldsUnchecked_ = 0;
    if (sincePump_.isValid() && sincePump_.elapsed() < kPumpIntervalMs) {
        return;
    }
    ShowPending();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    sincePump_.start();
}

} // namespace klar::ui
