#include "win32/frm_main.h"

#include "forms/app_version.h"
#include "platform/termination.h"
#include "win32/control_ids.h"
#include "win32/win_util.h"

#include <commctrl.h>

namespace klar::win32 {
namespace {

constexpr const wchar_t* kMainClass = L"KlarvenorMain";
// Fixed single border; the maximise box is there until the load removes it.
constexpr DWORD kMainStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;

/// The table's entry for a control of this window; nullptr for any other identifier.
const forms::ControlDesign* SpecOf(int id) {
    const int index = id - kFirstMainControl;
    return index >= 0 && index < static_cast<int>(std::size(forms::kMainControls))
               ? &forms::kMainControls[index]
               : nullptr;
}

} // namespace

frmMain::frmMain(JobState& state, Platform& platform, AppForms& forms)
    : state_(state), platform_(platform), forms_(forms), rules_(state, platform, *this) {
    engine_ = std::make_unique<Engine>(state_, platform_, view_, random_);
}

frmMain::~frmMain() {
    if (hwnd_ != nullptr) {
        DestroyWindow(hwnd_);
    }
}

void frmMain::Form_Load() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW kind{};
    kind.cbSize = sizeof kind;
    kind.hInstance = instance;
    kind.lpfnWndProc = Proc;
    kind.lpszClassName = kMainClass;
    kind.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    kind.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    kind.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    kind.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                 GetSystemMetrics(SM_CXSMICON),
                                                 GetSystemMetrics(SM_CYSMICON), 0));
    RegisterClassExW(&kind);

    CreateWindowExW(WS_EX_CONTROLPARENT, kMainClass, Wide(forms::kMainCaption).c_str(), kMainStyle,
                    CW_USEDEFAULT, CW_USEDEFAULT, 320, 240, nullptr, BuildMenus(), instance, this);
    BuildControls(WindowDpi(hwnd_));
    Loaded().Loaded(this);
    rules_.Form_Load();
}

void frmMain::Show() {
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    UpdateWindow(hwnd_);
    SetFocus(Control(kCboDelay));
}

void frmMain::Unload() {
    RequestClose();
}

HWND frmMain::Box(MethodBox box) const {
    return Control(kChkDOD + static_cast<int>(box));
}

// ---- Messages

LRESULT CALLBACK frmMain::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self =
            static_cast<frmMain*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<frmMain*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self != nullptr ? self->Handle(message, wParam, lParam)
                           : DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT frmMain::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND hwnd = hwnd_;
    switch (message) {
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            // Coming back puts the focus where the user left it, as a dialog does.
            if (HWND focus = GetFocus(); focus != nullptr && IsChild(hwnd, focus)) {
                lastFocus_ = focus;
            }
            break;
        }
        rules_.Form_Activate();
        if (HIWORD(wParam) == 0) { // not minimised
            SetFocus(lastFocus_ != nullptr && IsWindow(lastFocus_) ? lastFocus_
                                                                   : Control(kCboDelay));
        }
        return 0;
    case WM_CLOSE: {
        bool cancel = false;
        rules_.Form_Unload(cancel);
        if (!cancel) {
            DestroyWindow(hwnd);
        }
        return 0;
    }
    case WM_QUERYENDSESSION:
        // The session ends: a running job stops at its next block as after Abort.
        RequestTermination();
        return TRUE;
    case WM_ENDSESSION:
        // The system ends the process once this returns, even from inside a running job, so
        // the job's filler files go now.
        if (wParam != FALSE && state_.gJobRunning) {
            DeletePassFilesNow(state_, platform_);
        }
        return 0;
    case WM_DRAWITEM: {
        const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        // The table's buttons are the only controls the window draws.
        if (const forms::ControlDesign* design = SpecOf(static_cast<int>(item.CtlID))) {
            DrawColouredButton(item, design->colour);
        }
        return TRUE;
    }
    case WM_CTLCOLORSTATIC: {
        auto dc = reinterpret_cast<HDC>(wParam);
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        const forms::ControlDesign* design = SpecOf(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)));
        if (design != nullptr && design->kind == forms::ControlKind::Label &&
            design->colour != forms::kSystemColour) {
            SetTextColor(dc, design->colour);
        }
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_DPICHANGED: {
        MoveToSuggestedRect(hwnd, lParam);
        Layout(HIWORD(wParam));
        return 0;
    }
    case WM_DESTROY:
        Loaded().Unloaded(this);
        PostQuitMessage(0);
        break;
    case WM_NCDESTROY:
        hwnd_ = nullptr;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void frmMain::OnCommand(int id, int code) {
    switch (id) {
    case kCommand5:
        Command5_Click();
        break;
    case kBtnAbort:
        btnAbort_Click();
        break;
    case kChkDOD:
    case kChkNSA:
    case kChkGuttman:
    case kChkUK:
    case kChkCanada:
    case kChkSingle:
        if (code == BN_CLICKED) {
            rules_.MethodClicked(static_cast<MethodBox>(id - kChkDOD));
        }
        break;
    default:
        for (const forms::MenuDesign& menu : forms::kMainMenus) {
            for (const forms::MenuItemDesign& item : menu.items) {
                if (MenuItemId(item.command) == id) {
                    rules_.MenuChosen(item.command);
                }
            }
        }
        break;
    }
}

void frmMain::Command5_Click() {
    engine_->Command5_Click();
    view_.ShowPending(); // what the job wrote after its last yield
}

void frmMain::btnAbort_Click() {
    engine_->btnAbort_Click();
}

// ---- MainView

void frmMain::SetOuterSizeTwips(int width, int height) {
    const int dpi = WindowDpi(hwnd_);
    SetWindowPos(hwnd_, nullptr, 0, 0, Px(width, dpi), Px(height, dpi),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void frmMain::RemoveMaximizeBox() {
    const LONG style = GetWindowLongW(hwnd_, GWL_STYLE);
    SetWindowLongW(hwnd_, GWL_STYLE, style & ~static_cast<LONG>(WS_MAXIMIZEBOX));
    SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void frmMain::SetDriveItems(const std::vector<std::string>& items) {
    HWND list = Control(kCboDelay);
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    for (const std::string& item : items) {
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
    }
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SetWindowTextW(list, L"");
}

bool frmMain::IsMethodChecked(MethodBox box) {
    return SendMessageW(Box(box), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void frmMain::SetMethodChecked(MethodBox box, bool checked) {
    if (IsMethodChecked(box) == checked) {
        return;
    }
    SendMessageW(Box(box), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    // A box changed by code runs its click handler too.
    rules_.MethodClicked(box);
}

void frmMain::SetBarColour(std::uint32_t colour) {
    SendMessageW(Control(kProgressBar1), PBM_SETBARCOLOR, 0, static_cast<LPARAM>(colour));
}

void frmMain::ShowMessage(const std::string& text) {
    MsgBox(hwnd_, text);
}

void frmMain::ShowDonate() {
    forms_.ShowDonate();
}

void frmMain::ShowAbout() {
    forms_.ShowAbout(hwnd_);
}

void frmMain::UnloadOtherForms() {
    Loaded().UnloadAllBut(this, [](Form* form) { form->Unload(); });
}

bool frmMain::IsMinimized() {
    return IsIconic(hwnd_) != FALSE;
}

forms::PlacementTwips frmMain::OuterPlacement() {
    RECT outer{};
    GetWindowRect(hwnd_, &outer);
    const int dpi = WindowDpi(hwnd_);
    return {forms::PixelsToTwips(outer.left, dpi), forms::PixelsToTwips(outer.top, dpi),
            forms::PixelsToTwips(outer.right - outer.left, dpi),
            forms::PixelsToTwips(outer.bottom - outer.top, dpi)};
}

std::string frmMain::WriteSetting(const std::string& section, const std::string& key,
                                  const std::string& value) {
    const std::wstring path = L"Software\\" + Wide(kAppTitle) + L"\\" + Wide(section);
    HKEY settings = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                     nullptr, &settings, nullptr);
    if (status == ERROR_SUCCESS) {
        const std::wstring text = Wide(value);
        status = RegSetValueExW(settings, Wide(key).c_str(), 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(text.c_str()),
                                static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(settings);
    }
    return status == ERROR_SUCCESS ? std::string() : ErrorText(static_cast<DWORD>(status));
}

void frmMain::RequestClose() {
    SendMessageW(hwnd_, WM_CLOSE, 0, 0);
}

} // namespace klar::win32
