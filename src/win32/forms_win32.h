#pragma once

#include "forms/about_form.h"
#include "forms/donate_form.h"
#include "forms/loaded_forms.h"

#include <memory>
#include <windows.h>

namespace klar::win32 {

/// A window of the program, as the exit rules unload it.
class Form {
public:
    virtual ~Form() = default;
    [[nodiscard]] HWND Window() const { return hwnd_; }
    /// Closes the window (its own close rules apply).
    virtual void Unload() = 0;

protected:
    HWND hwnd_ = nullptr;
};

/// The program's loaded windows, oldest first.
forms::LoadedForms<Form>& Loaded();

/// Registers the program's window classes; false (with the system's error) if one fails.
bool RegisterFormClasses(HINSTANCE instance);

/// Asks for a donation and offers the product page. Modeless, without an owner.
class frmDonate final : public Form, private forms::DonateView {
public:
    frmDonate();
    ~frmDonate() override;
    /// Creates the window, sizes it and starts the timer that brings it forward once.
    void Form_Load();
    [[nodiscard]] bool IsLoaded() const { return hwnd_ != nullptr; }
    void Unload() override;
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Layout(int dpi);

    void SetOuterSizeTwips(int width, int height) override;
    void StartTimer(int intervalMs) override;
    void StopTimer() override;
    void BringToFront() override;
    void OpenPage(const std::string& address) override;

    forms::DonateForm rules_{*this};
    HWND Label1 = nullptr;
    HWND Command1 = nullptr;
    HWND Command2 = nullptr;
};

/// Which program and version this is and what it does; opens the licence page. Modal.
class frmAbout final : public Form, private forms::AboutView {
public:
    explicit frmAbout(HWND owner);
    ~frmAbout() override;
    /// Creates and loads the window, shows it modal to the owner; returns once it is closed.
    void ShowModal();
    void Unload() override;
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

    void SetTitle(const std::string& text) override;
    void SetVersion(const std::string& text) override;
    void OpenPage(const std::string& address) override;

    forms::AboutForm rules_{*this};
    HWND owner_;
    HWND lblTitle = nullptr;
    HWND lblVersion = nullptr;
};

/// Opens the donation and About windows for the main window, one of each at a time.
class AppForms {
public:
    void ShowDonate();
    void ShowAbout(HWND owner);

private:
    std::unique_ptr<frmDonate> donate_;
};

} // namespace klar::win32
