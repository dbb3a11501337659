#include "win32/forms_win32.h"

#include "win32/control_ids.h"
#include "win32/win_util.h"

namespace klar::win32 {
namespace {

constexpr const wchar_t* kDonateClass = L"KlarvenorDonate";
constexpr const wchar_t* kAboutClass = L"KlarvenorAbout";
constexpr DWORD kFixedStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;

// Places in twips: left, top, width, height.
constexpr RECT kDonateLabelPlace{240, 240, 7935, 1215};
constexpr RECT kDonateCommand1Place{240, 1650, 7935, 495};
constexpr RECT kDonateCommand2Place{2940, 2370, 2655, 375};
constexpr int kAboutClientWidth = 6060;
constexpr int kAboutClientHeight = 3690;

template <typename Window> Window* Self(HWND hwnd, UINT message, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        return self;
    }
    return reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

void SetFonts(HWND parent, HFONT font) {
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
}

} // namespace

forms::LoadedForms<Form>& Loaded() {
    static forms::LoadedForms<Form> loaded;
    return loaded;
}

bool RegisterFormClasses(HINSTANCE instance) {
    WNDCLASSEXW kind{};
    kind.cbSize = sizeof kind;
    kind.hInstance = instance;
    kind.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    kind.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    kind.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    kind.lpfnWndProc = frmDonate::Proc;
    kind.lpszClassName = kDonateClass;
    if (RegisterClassExW(&kind) == 0) {
        return false;
    }
    kind.lpfnWndProc = frmAbout::Proc;
    kind.lpszClassName = kAboutClass;
    return RegisterClassExW(&kind) != 0;
}

// ---- frmDonate

frmDonate::frmDonate() = default;

frmDonate::~frmDonate() {
    if (hwnd_ != nullptr) {
        DestroyWindow(hwnd_);
    }
}

void frmDonate::Form_Load() {
    CreateWindowExW(WS_EX_CONTROLPARENT, kDonateClass, Wide(forms::kDonateCaption).c_str(),
                    kFixedStyle, CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, nullptr, nullptr,
                    GetModuleHandleW(nullptr), this);
    const int dpi = WindowDpi(hwnd_);
    Label1 = PutControl(hwnd_, L"STATIC", forms::kDonateRequest, SS_LEFT, kDonateLabel1,
                        kDonateLabelPlace, dpi);
    Command1 = PutControl(hwnd_, L"BUTTON", forms::kDonateButton, BS_PUSHBUTTON | WS_TABSTOP,
                          kDonateCommand1, kDonateCommand1Place, dpi);
    Command2 = PutControl(hwnd_, L"BUTTON", forms::kNotNowButton, BS_PUSHBUTTON | WS_TABSTOP,
                          kDonateCommand2, kDonateCommand2Place, dpi);
    SetFonts(hwnd_, DesignFont(true, dpi));
    Loaded().Loaded(this);
    rules_.Form_Load();
    ShowWindow(hwnd_, SW_SHOWNORMAL);
}

void frmDonate::Layout(int dpi) {
    PlaceControl(Label1, kDonateLabelPlace, dpi);
    PlaceControl(Command1, kDonateCommand1Place, dpi);
    PlaceControl(Command2, kDonateCommand2Place, dpi);
    SetFonts(hwnd_, DesignFont(true, dpi));
}

void frmDonate::Unload() {
    if (hwnd_ != nullptr) {
        DestroyWindow(hwnd_);
    }
}

void frmDonate::SetOuterSizeTwips(int width, int height) {
    const int dpi = WindowDpi(hwnd_);
    SetWindowPos(hwnd_, nullptr, 0, 0, Px(width, dpi), Px(height, dpi),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void frmDonate::StartTimer(int intervalMs) {
    SetTimer(hwnd_, 1, static_cast<UINT>(intervalMs), nullptr);
}

void frmDonate::StopTimer() {
    KillTimer(hwnd_, 1);
}

void frmDonate::BringToFront() {
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    SetWindowPos(hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(hwnd_);
}

void frmDonate::OpenPage(const std::string& address) {
    OpenWebPage(hwnd_, address);
}

LRESULT CALLBACK frmDonate::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    frmDonate* self = Self<frmDonate>(hwnd, message, lParam);
    if (self == nullptr) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    if (message == WM_NCCREATE) {
        self->hwnd_ = hwnd;
    }
    return self->Handle(message, wParam, lParam);
}

LRESULT frmDonate::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND hwnd = hwnd_;
    switch (message) {
    case WM_TIMER:
        rules_.Timer1_Timer();
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == kDonateCommand1) {
            rules_.Command1_Click();
        } else if (LOWORD(wParam) == kDonateCommand2 || LOWORD(wParam) == IDCANCEL) {
            rules_.Command2_Click();
        }
        return 0;
    case WM_DPICHANGED: {
        MoveToSuggestedRect(hwnd, lParam);
        Layout(HIWORD(wParam));
        return 0;
    }
    case WM_DESTROY:
        KillTimer(hwnd, 1);
        Loaded().Unloaded(this);
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

// ---- frmAbout

frmAbout::frmAbout(HWND owner) : owner_(owner) {}

frmAbout::~frmAbout() {
    if (hwnd_ != nullptr) {
        DestroyWindow(hwnd_);
    }
}

void frmAbout::ShowModal() {
    CreateWindowExW(WS_EX_CONTROLPARENT | WS_EX_DLGMODALFRAME, kAboutClass,
                    Wide(forms::kAboutCaption).c_str(), kDialogStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                    100, 100, owner_, nullptr, GetModuleHandleW(nullptr), this);
    const int dpi = WindowDpi(hwnd_);
    RECT outer{0, 0, Px(kAboutClientWidth, dpi), Px(kAboutClientHeight, dpi)};
    AdjustWindowRectEx(&outer, kDialogStyle, FALSE, WS_EX_CONTROLPARENT | WS_EX_DLGMODALFRAME);
    RECT ownerRect{};
    GetWindowRect(owner_, &ownerRect);
    SetWindowPos(hwnd_, nullptr, ownerRect.left + 24, ownerRect.top + 24, outer.right - outer.left,
                 outer.bottom - outer.top, SWP_NOZORDER);

    HWND picIcon = PutControl(hwnd_, L"STATIC", "", SS_ICON, kPicIcon, {240, 240, 480, 480}, dpi);
    SendMessageW(
        picIcon, STM_SETICON,
        reinterpret_cast<WPARAM>(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1))), 0);
    lblTitle = PutControl(hwnd_, L"STATIC", "", SS_LEFT, kLblTitle, {1020, 180, 4800, 480}, dpi);
    lblVersion =
        PutControl(hwnd_, L"STATIC", "", SS_LEFT, kLblVersion, {1020, 720, 4800, 255}, dpi);
    HWND description = PutControl(hwnd_, L"STATIC", forms::AboutDescription(), SS_LEFT,
                                  kLblDescription, {1020, 1080, 4800, 1920}, dpi);
    HWND command1 = PutControl(hwnd_, L"BUTTON", forms::kLicenseButton, BS_PUSHBUTTON | WS_TABSTOP,
                               kAboutCommand1, {1020, 3150, 2175, 375}, dpi);
    HWND ok = PutControl(hwnd_, L"BUTTON", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, kCmdOK,
                         {4620, 3150, 1200, 375}, dpi);
    SetFonts(hwnd_, DesignFont(false, dpi));
    SendMessageW(lblTitle, WM_SETFONT, reinterpret_cast<WPARAM>(DesignFont(true, dpi, 16.5)), TRUE);
    (void)description;
    (void)command1;

    Loaded().Loaded(this);
    rules_.Form_Load();
    SetFocus(ok);
    RunModal(hwnd_, owner_);
}

void frmAbout::Unload() {
    if (hwnd_ != nullptr) {
        // The owner takes input again before this window goes, so it is the one activated.
        EnableWindow(owner_, TRUE);
        DestroyWindow(hwnd_);
    }
}

void frmAbout::SetTitle(const std::string& text) {
    SetWindowTextW(lblTitle, Wide(text).c_str());
}

void frmAbout::SetVersion(const std::string& text) {
    SetWindowTextW(lblVersion, Wide(text).c_str());
}

void frmAbout::OpenPage(const std::string& address) {
    OpenWebPage(hwnd_, address);
}

LRESULT CALLBACK frmAbout::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    frmAbout* self = Self<frmAbout>(hwnd, message, lParam);
    if (self == nullptr) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    if (message == WM_NCCREATE) {
        self->hwnd_ = hwnd;
    }
    return self->Handle(message, wParam, lParam);
}

LRESULT frmAbout::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND hwnd = hwnd_;
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == kAboutCommand1) {
            rules_.Command1_Click();
        } else if (LOWORD(wParam) == kCmdOK || LOWORD(wParam) == IDCANCEL) {
            rules_.cmdOK_Click();
        }
        return 0;
    case WM_CLOSE:
        Unload();
        return 0;
    case WM_DESTROY:
        Loaded().Unloaded(this);
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

// ---- AppForms

void AppForms::ShowDonate() {
    if (donate_ != nullptr && donate_->IsLoaded()) {
        HWND open = donate_->Window();
        ShowWindow(open, IsIconic(open) ? SW_RESTORE : SW_SHOW);
        SetForegroundWindow(open);
        return;
    }
    donate_ = std::make_unique<frmDonate>();
    donate_->Form_Load();
}

void AppForms::ShowAbout(HWND owner) {
    frmAbout about(owner);
    about.ShowModal();
}

} // namespace klar::win32
