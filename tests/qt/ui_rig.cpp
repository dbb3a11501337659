#include "ui_rig.h"

#include "qt/forms.h"
#include "test_volume.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QTest>
#include <filesystem>
#include <regex>
#include <stdexcept>

namespace klar::uitest {
namespace {

QString& SettingsFolder() {
    static QString folder;
    return folder;
}

} // namespace

ModalAnswerer::ModalAnswerer() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
    timer_.start();
}

ModalAnswerer::~ModalAnswerer() = default;

std::vector<QString> ModalAnswerer::texts() const {
    std::vector<QString> result;
    for (const SeenBox& box : boxes) {
        result.push_back(box.text);
    }
    return result;
}

void ModalAnswerer::tick() {
    QWidget* modal = QApplication::activeModalWidget();
    if (busy_ || modal == nullptr || !modal->isVisible()) {
        return;
    }
    busy_ = true;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        SeenBox seen;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.noIcon = box->icon() == QMessageBox::NoIcon && box->iconPixmap().isNull();
        seen.buttons = static_cast<int>(box->buttons().size());
        seen.onlyOk = seen.buttons == 1 && box->button(QMessageBox::Ok) != nullptr;
        boxes.push_back(seen);
        if (onBox) {
            onBox(seen);
        }
        if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
            ok->click();
        } else {
            box->reject();
        }
    } else if (onOther) {
        onOther(modal);
    } else {
        modal->close();
    }
    busy_ = false;
}

Poll::Poll(std::function<bool()> step) : step_(std::move(step)) {
    timer_.setInterval(2);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] {
        if (!done_ && step_()) {
            done_ = true;
            timer_.stop();
        }
    });
    timer_.start();
}

WindowRig::WindowRig(std::unique_ptr<Platform> p, ui::AuxWindows* aux) : platform(std::move(p)) {
    InitJobState(state);
    window = std::make_unique<ui::frmMain>(state, *platform, aux ? *aux : recordingAux);
}

WindowRig::~WindowRig() {
    // Leave the way the program does, so that the exit rules ask nothing.
    state.gJobRunning = false;
    state.gExitRequested = true;
    window->close();
    window.reset();
    CloseStrayWindows();
}

void WindowRig::LoadAndShow() {
    window->Form_Load();
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) {
        throw std::runtime_error("the main window was never exposed");
    }
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window.get())) {
        throw std::runtime_error("the main window never became active");
    }
}

QString WindowRig::Caption(const char* label) const {
    return Get<QLabel>(label)->text();
}

void WindowRig::Trigger(const char* action) const {
    Get<QAction>(action)->trigger();
}

std::string FocusedControl(const QWidget& window) {
    QWidget* focus = window.focusWidget();
    if (focus == nullptr) {
        return "(none)";
    }
    if (qobject_cast<QLineEdit*>(focus) != nullptr && focus->parentWidget() != nullptr &&
        qobject_cast<QComboBox*>(focus->parentWidget()) != nullptr) {
        focus = focus->parentWidget();
    }
    return focus->objectName().toStdString();
}

void SetSettingsFolder(const QString& folder) {
    SettingsFolder() = folder;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
}

QString SettingsFile() {
    return SettingsFolder() + QStringLiteral("/Klarvenor/Klarvenor.conf");
}

void ClearSettings() {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Klarvenor"),
                    QStringLiteral("Klarvenor"));
    store.clear();
    store.sync();
}

void CloseStrayWindows() {
    // Main windows belong to their rigs, which close them by the exit rules.
    for (QWidget* form : ui::Forms::All()) {
        if (qobject_cast<ui::frmMain*>(form) == nullptr) {
            form->close();
        }
    }
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->isVisible() && qobject_cast<ui::frmMain*>(top) == nullptr) {
            top->close();
        }
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

std::vector<std::string> FillerFiles(const std::string& folder) {
    static const std::regex filler("[0-9]{8,}\\.txt");
    std::vector<std::string> names;
    for (const std::string& name : test::ListFolder(folder)) {
        if (std::regex_match(name, filler)) {
            names.push_back(name);
        }
    }
    return names;
}

std::uint64_t FillerBytes(const std::string& folder) {
    std::uint64_t bytes = 0;
    for (const std::string& name : FillerFiles(folder)) {
        std::error_code ec;
        const auto size = std::filesystem::file_size(test::JoinPath(folder, name), ec);
        bytes += ec ? 0 : size;
    }
    return bytes;
}

} // namespace klar::uitest
