#pragma once

#include "qt/aux_windows.h"
#include "qt/frm_donate.h"

#include <QPointer>

namespace klar::app {

/// Opens the donation and About windows for the main window, one instance of each at a time.
class AppWindows final : public ui::AuxWindows {
public:
    void ShowDonate() override;
    void ShowAbout(QWidget* owner) override;

    /// The open donation window, or null.
    [[nodiscard]] frmDonate* Donate() const;

private:
    QPointer<frmDonate> donate_;
};

} // namespace klar::app
