#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QTimer;

namespace klar::app {

/// Asks for a donation and offers the product page. Modeless, without an owner; opened at
/// every start and from File > Donate.
class frmDonate : public QWidget {
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
    void Timer1_Timer();
    void Command1_Click();
    void Command2_Click();

    QLabel* Label1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QTimer* Timer1 = nullptr;
    bool loaded_ = false;
};

} // namespace klar::app
