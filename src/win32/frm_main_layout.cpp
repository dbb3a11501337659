// The main window's controls and menus, made from their description in main_layout.h: each
// kind of control is a window class and style here.
#include "win32/control_ids.h"
#include "win32/frm_main.h"
#include "win32/win_util.h"

#include <commctrl.h>
#include <uxtheme.h>

namespace klar::win32 {
namespace {

struct NativeKind {
    const wchar_t* windowClass;
    DWORD style;
};

NativeKind Native(forms::ControlKind kind) {
    switch (kind) {
    case forms::ControlKind::DriveList:
        return {L"COMBOBOX", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP};
    case forms::ControlKind::Label:
        return {L"STATIC", SS_LEFT | SS_NOPREFIX | SS_NOTIFY};
    case forms::ControlKind::Button:
        // Drawn by the window, so that the face takes its colour.
        return {L"BUTTON", BS_OWNERDRAW | WS_TABSTOP};
    case forms::ControlKind::ProgressBar:
        return {PROGRESS_CLASSW, PBS_SMOOTH};
    case forms::ControlKind::CheckBox:
        break;
    }
    return {L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP};
}

// The drop-down part of the drive list, below its edit field.
constexpr int kDropDownTwips = 2400;

/// Left, top, width and height in twips, as PutControl takes them.
RECT PlaceOf(const forms::ControlDesign& design) {
    const forms::TwipsRect& place = design.place;
    const int extra = design.kind == forms::ControlKind::DriveList ? kDropDownTwips : 0;
    return {place.left, place.top, place.width, place.height + extra};
}

} // namespace

HWND frmMain::Control(int id) const {
    return controls_[static_cast<std::size_t>(id - kFirstMainControl)];
}

void frmMain::BuildControls(int dpi) {
    tooltips_ = MakeTooltips(hwnd_);
    // In the table's order, which is the tab order.
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        const forms::ControlDesign& design = forms::kMainControls[i];
        const NativeKind native = Native(design.kind);
        const int id = kFirstMainControl + static_cast<int>(i);
        HWND control = PutControl(hwnd_, native.windowClass, design.caption, native.style, id,
                                  PlaceOf(design), dpi);
        controls_[i] = control;
        if (design.tooltip != nullptr) {
            Tip(tooltips_, hwnd_, control, design.tooltip);
            // The drive list's edit field is a window of its own, with the same tip.
            if (HWND edit = FindWindowExW(control, nullptr, L"EDIT", nullptr); edit != nullptr) {
                Tip(tooltips_, hwnd_, edit, design.tooltip);
            }
        }
        if (design.start == forms::Start::Hidden) {
            ShowWindow(control, SW_HIDE);
        }
        if (design.start == forms::Start::Checked) {
            SendMessageW(control, BM_SETCHECK, BST_CHECKED, 0);
        }
    }
    HWND bar = Control(kProgressBar1);
    // A themed bar ignores its colour (on Windows as under Wine); an unthemed one honours it.
    SetWindowTheme(bar, L" ", L" ");
    SetWindowPos(bar, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    SendMessageW(bar, PBM_SETRANGE32, 0, 100);
    SendMessageW(bar, PBM_SETPOS, 0, 0);
    Layout(dpi);

    JobControls job;
    job.window = hwnd_;
    job.cboDelay = Control(kCboDelay);
    job.Command5 = Control(kCommand5);
    job.btnAbort = Control(kBtnAbort);
    job.ProgressBar1 = bar;
    job.captions = {Control(kLabel2), Control(kLabel8), Control(kLabel9), Control(kLabel10)};
    for (std::size_t box = 0; box < job.methods.size(); ++box) {
        job.methods[box] = Box(static_cast<MethodBox>(box));
    }
    view_.Attach(job);
    SetFocus(Control(kCboDelay));
}

void frmMain::Layout(int dpi) {
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        const forms::ControlDesign& design = forms::kMainControls[i];
        PlaceControl(controls_[i], PlaceOf(design), dpi);
        const bool bold = design.weight == forms::Weight::Bold;
        SendMessageW(controls_[i], WM_SETFONT, reinterpret_cast<WPARAM>(DesignFont(bold, dpi)),
                     TRUE);
    }
}

HMENU frmMain::BuildMenus() {
    HMENU bar = CreateMenu();
    for (const forms::MenuDesign& design : forms::kMainMenus) {
        HMENU menu = CreatePopupMenu();
        for (const forms::MenuItemDesign& item : design.items) {
            AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(MenuItemId(item.command)),
                        Wide(item.caption).c_str());
        }
        AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(menu), Wide(design.caption).c_str());
    }
    return bar;
}

} // namespace klar::win32
