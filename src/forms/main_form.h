#pragma once

#include "engine/job_state.h"
#include "engine/job_view.h"
#include "forms/main_layout.h"
#include "platform/platform.h"

#include <cstdint>
#include <string>
#include <vector>

namespace klar::forms {

inline constexpr const char* kMainCaption = "Klarvenor - Secure Erasure Utility ";
/// What the caption gains in a window started through the desktop's administrator launcher,
/// so that nobody takes it for the user's own window.
inline constexpr const char* kAdministratorSuffix = "(Administrator)";

/// How the window's user reaches space kept for the administrator: the desktop's
/// "Clear as Administrator" launcher, or the program started as root.
inline constexpr const char* kAdministratorRoute = "run Klarvenor as administrator";

/// The main window's caption: kMainCaption, with kAdministratorSuffix when the window runs
/// with the administrator's rights that the desktop's launcher gave it.
[[nodiscard]] std::string MainCaption(bool startedAsAdministrator);
/// The outer size the load handler gives the main window, and the client area its controls
/// are laid out for, in twips.
inline constexpr int kMainWidthTwips = 4755;
inline constexpr int kMainHeightTwips = 3195;
inline constexpr int kClientWidthTwips = 4635;
inline constexpr int kClientHeightTwips = 2385;

/// The progress bar's colour as a Windows colour reference (0x00BBGGRR): red 0, green 0,
/// blue 127.
inline constexpr std::uint32_t kBarColour = 0x007F0000;

inline constexpr const char* kStillRunning = "Program still running. Abort first, then Exit.";
inline constexpr const char* kUseFileExit = "Exit program via File-Exit menu option.";

/// The settings section and the four keys the exit writes, in their order.
inline constexpr const char* kSettingsSection = "Settings";
inline constexpr const char* kPlacementKeys[] = {"MainLeft", "MainTop", "MainWidth", "MainHeight"};

/// The main window's outer rectangle in twips.
struct PlacementTwips {
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
};

/// A twips value as the settings store keeps it: the decimal text of a single-precision
/// number (plain digits for a whole number, a leading minus when negative).
[[nodiscard]] std::string PlacementText(double twips);

/// A length in twips as whole pixels at the given dots per inch (15 twips a pixel at 96 dpi).
[[nodiscard]] int TwipsToPixels(int twips, double dpi);
[[nodiscard]] double PixelsToTwips(int pixels, double dpi);

/// The entries the drive list offers: the drives found, blank ones left out, in order.
[[nodiscard]] std::vector<std::string> DriveListItems(const std::vector<std::string>& drives);

/// What the main window's rules need of a toolkit's window. Abstract so that each front end
/// implements it with its own controls and the rules are tested without any.
class MainView {
public:
    virtual ~MainView() = default;

    virtual void SetOuterSizeTwips(int width, int height) = 0;
    /// Takes the maximise button off the window's style.
    virtual void RemoveMaximizeBox() = 0;
    /// Replaces the drive list's entries; nothing is selected and the edit field is empty.
    virtual void SetDriveItems(const std::vector<std::string>& items) = 0;
    [[nodiscard]] virtual bool IsMethodChecked(MethodBox box) = 0;
    /// Sets a box's value; the box's own click handler runs as when the user changes it.
    virtual void SetMethodChecked(MethodBox box, bool checked) = 0;
    virtual void SetBarColour(std::uint32_t colour) = 0;
    /// A message box with the text, an OK button and the caption "Klarvenor"; returns when
    /// the user has closed it.
    virtual void ShowMessage(const std::string& text) = 0;
    /// Shows the donation window modeless and without an owner, loading it first when it is
    /// not open, bringing it forward when it is.
    virtual void ShowDonate() = 0;
    /// Shows the About window modal to this one; returns when it has been closed.
    virtual void ShowAbout() = 0;
    /// Unloads every other loaded window of the program, the most recently loaded first.
    virtual void UnloadOtherForms() = 0;
    [[nodiscard]] virtual bool IsMinimized() = 0;
    [[nodiscard]] virtual PlacementTwips OuterPlacement() = 0;
    /// Writes one value of the per-user settings store (application "Klarvenor"); empty when
    /// it was written, else why not in the system's words.
    [[nodiscard]] virtual std::string
    WriteSetting(const std::string& section, const std::string& key, const std::string& value) = 0;
    /// Starts a close of this window: the toolkit calls Form_Unload and goes on unless it
    /// sets cancel.
    virtual void RequestClose() = 0;
};

/// The main window's handlers outside the job, the same in every front end: the load steps,
/// activation, method selection, the exit guard and the menus.
class MainForm {
public:
    MainForm(JobState& state, Platform& platform, MainView& view)
        : state_(state), platform_(platform), view_(view) {}

    /// Sizes the window, removes its maximise button, opens the donation window and fills the
    /// drive list, in that order, before the window is first shown.
    void Form_Load();
    /// Every time the window becomes the active window: the bar's colour again.
    void Form_Activate();
    /// The exit guard; sets cancel to keep the window open.
    void Form_Unload(bool& cancel);
    /// The rule of all six method boxes after a box's value changed: a checked box clears the
    /// other five; an unchecked one changes nothing, so no box may be checked.
    void MethodClicked(MethodBox box);

    void mnuFileExit_Click();
    void mnuDonate_Click();
    void mnuHelpAbout_Click();
    /// Runs the handler of the menu item that the user chose.
    void MenuChosen(MenuCommand command);

private:
    void SavePlacement();

    JobState& state_;
    Platform& platform_;
    MainView& view_;
};

} // namespace klar::forms
