#pragma once

#include "engine/job_state.h"
#include "given_drives.h"
#include "platform/platform.h"
#include "qt/aux_windows.h"
#include "qt/frm_main.h"
#include "recording_aux.h"

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;

namespace klar::uitest {

using test::GivenDrives;

/// A message box as the user saw it.
struct SeenBox {
    QString title;
    QString text;
    bool noIcon = false;
    int buttons = 0;
    bool onlyOk = false;
};

/// Answers every modal window that opens, from a timer: message boxes are recorded and
/// closed with OK; other modal windows go to onOther, which must close them.
class ModalAnswerer : public QObject {
public:
    ModalAnswerer();
    ~ModalAnswerer() override;

    std::vector<SeenBox> boxes;
    /// Runs when a message box shows, before it is answered.
    std::function<void(const SeenBox&)> onBox;
    /// Handles a modal window that is not a message box; it must close it.
    std::function<void(QWidget*)> onOther;

    [[nodiscard]] std::vector<QString> texts() const;

private:
    void tick();
    QTimer timer_;
    bool busy_ = false;
};

/// Runs step every few milliseconds (whenever the event loop runs, nested ones included)
/// until it returns true.
class Poll : public QObject {
public:
    explicit Poll(std::function<bool()> step);
    [[nodiscard]] bool done() const { return done_; }

private:
    std::function<bool()> step_;
    QTimer timer_;
    bool done_ = false;
};

/// A main window made the way start-up makes it, with its own job state.
class WindowRig {
public:
    /// aux null: a recorder stands in for the donation and About windows.
    explicit WindowRig(std::unique_ptr<Platform> platform = makeSystemPlatform(),
                       ui::AuxWindows* aux = nullptr);
    ~WindowRig();

    /// Form_Load, then show, and wait until the window is on screen and active.
    void LoadAndShow();

    template <typename T> T* Get(const char* name) const {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        if (found == nullptr) {
            throw std::runtime_error(std::string("no control ") + name);
        }
        return found;
    }
    [[nodiscard]] QString Caption(const char* label) const;
    void Trigger(const char* action) const;

    JobState state;
    std::unique_ptr<Platform> platform;
    RecordingAux recordingAux;
    std::unique_ptr<ui::frmMain> window;
};

/// The object name of the window's focus control, which has the keyboard focus whenever the
/// window is active (the drive list for its edit field); "(none)" without one.
[[nodiscard]] std::string FocusedControl(const QWidget& window);

/// Where the tests' settings store lives (a temporary folder) and the file of the program's
/// own settings in it.
void SetSettingsFolder(const QString& folder);
[[nodiscard]] QString SettingsFile();
/// Removes every stored setting.
void ClearSettings();

/// Closes every top-level window the test left open and lets deferred deletes run.
void CloseStrayWindows();

/// Filler files (eight digits and ".txt") in a folder.
[[nodiscard]] std::vector<std::string> FillerFiles(const std::string& folder);
/// Bytes held by the filler files in a folder.
[[nodiscard]] std::uint64_t FillerBytes(const std::string& folder);

} // namespace klar::uitest
