#pragma once

#include "forms/about_form.h"
#include "forms/app_version.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace klar::app {

using klar::AppVersion;
using klar::kAppVersion;

/// "Version " and the three numbers, as the About window shows them.
[[nodiscard]] QString VersionText(const AppVersion& version);

/// Which program and version this is and what it does; opens the licence page. Modal to the
/// main window.
class frmAbout : public QDialog, private forms::AboutView {
    Q_OBJECT

public:
    explicit frmAbout(QWidget* owner);

    /// Fills the title and the version.
    void Form_Load();

private:
    void SetTitle(const std::string& text) override;
    void SetVersion(const std::string& text) override;
    void OpenPage(const std::string& address) override;
    void Unload() override;

    forms::AboutForm rules_{*this};

    QLabel* picIcon = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblDescription = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* cmdOK = nullptr;
};

} // namespace klar::app
