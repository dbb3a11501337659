#pragma once

#include "forms/donate_form.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QTimer;

namespace klar::app {

/// Asks for a donation and offers the product page. Modeless, without an owner; opened at
/// every start and from File > Donate.
class frmDonate : public QWidget, private forms::DonateView {
    Q_OBJECT

public:
    frmDonate();

    /// Sizes the window and starts the timer that brings it forward once.
    void Form_Load();
    /// False once the window has been closed (it is then deleted soon after).
    [[nodiscard]] bool IsLoaded() const { return loaded_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void SetOuterSizeTwips(int width, int height) override;
    void StartTimer(int intervalMs) override;
    void StopTimer() override;
    void BringToFront() override;
    void OpenPage(const std::string& address) override;
    void Unload() override;

    QLabel* Label1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QTimer* Timer1 = nullptr;
    bool loaded_ = false;
    forms::DonateForm rules_{*this};
};

} // namespace klar::app
