#pragma once

#include "engine/job_view.h"
#include "forms/main_layout.h"

#include <string_view>

// The identifiers of the windows' controls and menu items, shared with the program's tests,
// which find the controls by them.
namespace klar::win32 {

/// frmMain's controls are numbered in the order of their table, from here.
inline constexpr int kFirstMainControl = 101;
[[nodiscard]] constexpr int MainControlId(std::string_view name) {
    return kFirstMainControl + forms::MainControlIndex(name);
}
/// The main window's menu items are numbered by their command, from here.
inline constexpr int kFirstMenuItem = 201;
[[nodiscard]] constexpr int MenuItemId(forms::MenuCommand command) {
    return kFirstMenuItem + static_cast<int>(command);
}

enum ControlId : int {
    // frmMain
    kCboDelay = MainControlId("cboDelay"),
    kLabel1 = MainControlId("Label1"),
    kCommand5 = MainControlId("Command5"),
    kLabel8 = MainControlId("Label8"),
    kBtnAbort = MainControlId("btnAbort"),
    kLabel9 = MainControlId("Label9"),
    kLabel10 = MainControlId("Label10"),
    kProgressBar1 = MainControlId("ProgressBar1"),
    kLabel2 = MainControlId("Label2"),
    kChkDOD = MainControlId("chkDOD"),
    kChkNSA = MainControlId("chkNSA"),
    kChkGuttman = MainControlId("chkGuttman"),
    kChkUK = MainControlId("chkUK"),
    kChkCanada = MainControlId("chkCanada"),
    kChkSingle = MainControlId("chkSingle"),
    // Menu items.
    kMnuDonate = MenuItemId(forms::MenuCommand::Donate),
    kMnuFileExit = MenuItemId(forms::MenuCommand::FileExit),
    kMnuHelpAbout = MenuItemId(forms::MenuCommand::HelpAbout),
    // frmDonate.
    kDonateLabel1 = 301,
    kDonateCommand1,
    kDonateCommand2,
    // frmAbout; OK is the dialog's own OK, so Enter and Esc reach it.
    kPicIcon = 401,
    kLblTitle,
    kLblVersion,
    kLblDescription,
    kAboutCommand1,
    kCmdOK = 1,
};

// A method box's identifier is kChkDOD plus its MethodBox.
static_assert(kChkNSA - kChkDOD == static_cast<int>(MethodBox::NSA) &&
              kChkGuttman - kChkDOD == static_cast<int>(MethodBox::Guttman) &&
              kChkUK - kChkDOD == static_cast<int>(MethodBox::UK) &&
              kChkCanada - kChkDOD == static_cast<int>(MethodBox::Canada) &&
              kChkSingle - kChkDOD == static_cast<int>(MethodBox::Single));

} // namespace klar::win32
