#include "qt/app_windows.h"

#include "qt/forms.h"
#include "qt/frm_about.h"

namespace klar::app {

void AppWindows::ShowDonate() {
    if (frmDonate* open = Donate()) {
        open->setWindowState(open->windowState() & ~Qt::WindowMinimized);
        open->show();
        open->raise();
        open->activateWindow();
        return;
    }
    donate_ = new frmDonate;
    donate_->Form_Load();
    donate_->show();
}

void AppWindows::ShowAbout(QWidget* owner) {
    frmAbout about(owner);
    ui::Forms::Loaded(&about);
    about.Form_Load();
    about.exec();
    ui::Forms::Unloaded(&about);
}

frmDonate* AppWindows::Donate() const {
    return donate_ && donate_->IsLoaded() ? donate_.data() : nullptr;
}

} // namespace klar::app
