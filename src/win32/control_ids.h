#pragma once

// The identifiers of the windows' controls and menu items, shared with the program's tests,
// which find the controls by them.
namespace klar::win32 {

enum ControlId : int {
    // frmMain, in tab order.
    kCboDelay = 101,
    kLabel1,
    kCommand5,
    kLabel8,
    kBtnAbort,
    kLabel9,
    kLabel10,
    kProgressBar1,
    kLabel2,
    kChkDOD,
    kChkNSA,
    kChkGuttman,
    kChkUK,
    kChkCanada,
    kChkSingle,
    // Menu items.
    kMnuDonate = 201,
    kMnuFileExit,
    kMnuHelpAbout,
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

} // namespace klar::win32
