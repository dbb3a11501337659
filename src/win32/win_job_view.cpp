#include "win32/win_job_view.h"

#include "win32/win_util.h"

#include <commctrl.h>

namespace klar::win32 {

std::string WinJobView::driveText() {
    return WindowText(c_.cboDelay);
}

bool WinJobView::isChecked(MethodBox box) {
    return SendMessageW(c_.methods[static_cast<std::size_t>(box)], BM_GETCHECK, 0, 0) ==
           BST_CHECKED;
}

void WinJobView::DrawCaption(Caption which, const std::string& text) {
    // A static control repaints itself as soon as its text is set.
    SetWindowTextW(Label(which), Wide(text).c_str());
}

void WinJobView::PaintCaptionNow(Caption which) {
    UpdateWindow(Label(which));
}

void WinJobView::DrawProgress(int value) {
    SendMessageW(c_.ProgressBar1, PBM_SETPOS, static_cast<WPARAM>(value), 0);
}

void WinJobView::PumpEvents() {
    PumpPending();
}

void WinJobView::setAbortVisible(bool visible) {
    ShowPending();
    ShowWindow(c_.btnAbort, visible ? SW_SHOW : SW_HIDE);
    if (visible) {
        UpdateWindow(c_.btnAbort);
    }
}

void WinJobView::focusDriveList() {
    SetFocus(c_.cboDelay);
}

void WinJobView::focusClearButton() {
    SetFocus(c_.Command5);
}

void WinJobView::showMessage(const std::string& text) {
    ShowPending();
    MsgBox(c_.window, text);
}

} // namespace klar::win32
