#pragma once

#include <cstdint>
#include <iterator>
#include <span>
#include <string_view>

namespace klar::forms {

/// What a control of the main window is; each front end maps a kind to its own widget.
enum class ControlKind {
    DriveList,   ///< an editable drop-down list
    Label,       ///< plain text, no access keys, takes no focus
    Button,      ///< a push button with a flat coloured face
    ProgressBar, ///< 0 to 100, no text, takes no focus
    CheckBox,
};

/// A control's place in the client area, in twips.
struct TwipsRect {
    int left;
    int top;
    int width;
    int height;
};

/// A colour as a Windows colour reference (0x00BBGGRR); kSystemColour leaves the system's.
inline constexpr std::uint32_t kSystemColour = 0xFFFFFFFF;

/// The design face in bold or regular.
enum class Weight { Regular, Bold };

/// How a control starts out, where that differs from shown and unchecked.
enum class Start { Shown, Hidden, Checked };

/// One control of the main window in its design state.
struct ControlDesign {
    ControlKind kind;
    const char* name; ///< as the rules, the tests and the toolkits find the control
    TwipsRect place;
    const char* caption; ///< "" for none
    const char* tooltip; ///< nullptr for none
    Weight weight;
    std::uint32_t colour; ///< a button's face or a label's text
    Start start;
};

[[nodiscard]] constexpr ControlDesign Control(ControlKind kind, const char* name, TwipsRect place,
                                              const char* caption, const char* tooltip,
                                              Weight weight, std::uint32_t colour = kSystemColour,
                                              Start start = Start::Shown) {
    return {kind, name, place, caption, tooltip, weight, colour, start};
}

/// The main window's controls, in tab order: a front end creates them in this order, so that
/// Tab runs down the table (labels and the bar take no focus, so the focus starts in the
/// drive list).
inline constexpr ControlDesign kMainControls[] = {
    Control(ControlKind::DriveList, "cboDelay", {2040, 120, 735, 315}, "",
            "List of attached disk drives.", Weight::Bold),
    Control(ControlKind::Label, "Label1", {120, 240, 1815, 255}, "Select drive to clear:", nullptr,
            Weight::Bold),
    Control(ControlKind::Button, "Command5", {2880, 120, 1095, 255}, "&Clear Drive",
            "Clear Selected Drive", Weight::Bold, 0x008080FF),
    Control(ControlKind::Label, "Label8", {2640, 480, 1935, 255}, "",
            "Current \"pass\" of clearing operation.", Weight::Bold),
    Control(ControlKind::Button, "btnAbort", {3960, 120, 615, 255}, "&Abort",
            "Abort Current Operation", Weight::Bold, 0x0080FF80, Start::Hidden),
    Control(ControlKind::Label, "Label9", {450, 1800, 4110, 255},
            "Remaining:", "Shows remaining disk space to be cleared.", Weight::Bold, 0x00800000),
    Control(ControlKind::Label, "Label10", {75, 2040, 4395, 255},
            "Drive Capacity:", "Total capacity of selected drive.", Weight::Bold),
    Control(ControlKind::ProgressBar, "ProgressBar1", {1080, 840, 3375, 255}, "",
            "Shows progress of current \"pass\".", Weight::Bold),
    Control(ControlKind::Label, "Label2", {105, 840, 915, 255},
            "Pass [ ]:", "Current \"pass\" of clearing operation.", Weight::Bold),
    Control(ControlKind::CheckBox, "chkDOD", {120, 1200, 1455, 255}, "DOD-5220.22M",
            "DOD 5220.22M Std. - 3 Passes.", Weight::Regular, kSystemColour, Start::Checked),
    Control(ControlKind::CheckBox, "chkNSA", {1680, 1200, 680, 255}, "NSA", "NSA Std. - 7 Passes",
            Weight::Regular),
    Control(ControlKind::CheckBox, "chkGuttman", {2520, 1200, 975, 255}, "Guttman",
            "Guttman Method - 35 Passes!  Takes a long time!", Weight::Regular),
    Control(ControlKind::CheckBox, "chkUK", {3600, 1200, 975, 255}, "UK Std.",
            "UK Std. - 38 Passes!  Takes a long time!", Weight::Regular),
    Control(ControlKind::CheckBox, "chkCanada", {120, 1440, 975, 375}, "Canadian",
            "Canadian Std. - 8 Passes", Weight::Regular),
    Control(ControlKind::CheckBox, "chkSingle", {1200, 1480, 1335, 255}, "Single Sweep",
            "Single Pattern Sweep - Fastest Method.", Weight::Regular),
};

/// True for the kinds that Tab stops at.
[[nodiscard]] constexpr bool TakesFocus(ControlKind kind) {
    return kind == ControlKind::DriveList || kind == ControlKind::Button ||
           kind == ControlKind::CheckBox;
}

/// The index of the named control in kMainControls; a name that is not there does not compile
/// where the index is a constant.
[[nodiscard]] constexpr int MainControlIndex(std::string_view name) {
    for (int i = 0; i < static_cast<int>(std::size(kMainControls)); ++i) {
        if (name == kMainControls[i].name) {
            return i;
        }
    }
    throw "no such control in the main window";
}

/// What a menu item does; the rules run the matching handler.
enum class MenuCommand { Donate, FileExit, HelpAbout };

struct MenuItemDesign {
    MenuCommand command;
    const char* name;
    const char* caption;
};

struct MenuDesign {
    const char* name;
    const char* caption;
    std::span<const MenuItemDesign> items;
};

inline constexpr MenuItemDesign kFileMenuItems[] = {
    {MenuCommand::Donate, "mnuDonate", "&Donate"},
    {MenuCommand::FileExit, "mnuFileExit", "E&xit"},
};
inline constexpr MenuItemDesign kHelpMenuItems[] = {
    {MenuCommand::HelpAbout, "mnuHelpAbout", "&About "},
};

/// The main window's menu bar, left to right, each menu's items top to bottom.
inline constexpr MenuDesign kMainMenus[] = {
    {"mnuFile", "&File", kFileMenuItems},
    {"mnuHelp", "&Help", kHelpMenuItems},
};

} // namespace klar::forms
