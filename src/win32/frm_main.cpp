#include "frm_main.h"

#include "app_version.h"
#include "control_ids.h"
#include "termination.h"
#include "win_util.h"

#include <algorithm>
#include <cmath>
#include <commctrl.h>
#include <uxtheme.h>

namespace klar::win32 {
namespace {

constexpr const wchar_t* kMainClass = L"KlarvenorMain";
// Fixed single border; the maximise box is there until the load removes it.
constexpr DWORD kMainStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;

constexpr COLORREF kClearButtonFace = RGB(255, 128, 128);
constexpr COLORREF kAbortButtonFace = RGB(128, 255, 128);
constexpr COLORREF kRemainingText = RGB(0, 0, 128);

struct ControlSpec {
    int id;
    const wchar_t* kind;
    const char* caption;
    DWORD style;
    RECT twips; ///< left, top, width, height
    const char* tooltip;
    bool bold;
};

// In tab order: labels and the bar take no focus, so the focus starts in the drive list.
constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX | SS_NOTIFY;
constexpr DWORD kBox = BS_AUTOCHECKBOX | WS_TABSTOP;
const ControlSpec kControls[] = {
    {kCboDelay,
     L"COMBOBOX",
     "",
     CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP,
     {2040, 120, 735, 315},
     "List of attached disk drives.",
     true},
    {kLabel1, L"STATIC", "Select drive to clear:", kLabel, {120, 240, 1815, 255}, nullptr, true},
    {kCommand5,
     L"BUTTON",
     "&Clear Drive",
     BS_OWNERDRAW | WS_TABSTOP,
     {2880, 120, 1095, 255},
     "Clear Selected Drive",
     true},
    {kLabel8,
     L"STATIC",
     "",
     kLabel,
     {2640, 480, 1935, 255},
     "Current \"pass\" of clearing operation.",
     true},
    {kBtnAbort,
     L"BUTTON",
     "&Abort",
     BS_OWNERDRAW | WS_TABSTOP,
     {3960, 120, 615, 255},
     "Abort Current Operation",
     true},
    {kLabel9,
     L"STATIC",
     "Remaining:",
     kLabel,
     {450, 1800, 4110, 255},
     "Shows remaining disk space to be cleared.",
     true},
    {kLabel10,
     L"STATIC",
     "Drive Capacity:",
     kLabel,
     {75, 2040, 4395, 255},
     "Total capacity of selected drive.",
     true},
    {kProgressBar1,
     PROGRESS_CLASSW,
     "",
     PBS_SMOOTH,
     {1080, 840, 3375, 255},
     "Shows progress of current \"pass\".",
     true},
    {kLabel2,
     L"STATIC",
     "Pass [ ]:",
     kLabel,
     {105, 840, 915, 255},
     "Current \"pass\" of clearing operation.",
     true},
    {kChkDOD,
     L"BUTTON",
     "DOD-5220.22M",
     kBox,
     {120, 1200, 1455, 255},
     "DOD 5220.22M Std. - 3 Passes.",
     false},
    {kChkNSA, L"BUTTON", "NSA", kBox, {1680, 1200, 680, 255}, "NSA Std. - 7 Passes", false},
    {kChkGuttman,
     L"BUTTON",
     "Guttman",
     kBox,
     {2520, 1200, 975, 255},
     "Guttman Method - 35 Passes!  Takes a long time!",
     false},
    {kChkUK,
     L"BUTTON",
     "UK Std.",
     kBox,
     {3600, 1200, 975, 255},
     "UK Std. - 38 Passes!  Takes a long time!",
     false},
    {kChkCanada,
     L"BUTTON",
     "Canadian",
     kBox,
     {120, 1440, 975, 375},
     "Canadian Std. - 8 Passes",
     false},
    {kChkSingle,
     L"BUTTON",
     "Single Sweep",
     kBox,
     {1200, 1480, 1335, 255},
     "Single Pattern Sweep - Fastest Method.",
     false},
};

// The drop-down part of the drive list, below its edit field.
constexpr int kDropDownTwips = 2400;

RECT PlaceOf(const ControlSpec& entry) {
    RECT place = entry.twips;
    if (entry.id == kCboDelay) {
        place.bottom += kDropDownTwips;
    }
    return place;
}

std::size_t Slot(int id) {
    return static_cast<std::size_t>(id - kCboDelay);
}

} // namespace

frmMain::frmMain(JobState& state, Platform& platform, AppForms& forms)
    : state_(state), platform_(platform), forms_(forms), rules_(state, platform, *this) {
    engine_ = std::make_unique<Engine>(state_, platform_, static_cast<JobView&>(*this), random_);
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    ticksPerMs_ = static_cast<double>(frequency.QuadPart) / 1000.0;
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

    HMENU bar = CreateMenu();
    HMENU file = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, kMnuDonate, L"&Donate");
    AppendMenuW(file, MF_STRING, kMnuFileExit, L"E&xit");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&File");
    HMENU help = CreatePopupMenu();
    AppendMenuW(help, MF_STRING, kMnuHelpAbout, L"&About ");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), L"&Help");

    CreateWindowExW(WS_EX_CONTROLPARENT, kMainClass, Wide(forms::kMainCaption).c_str(), kMainStyle,
                    CW_USEDEFAULT, CW_USEDEFAULT, 320, 240, nullptr, bar, instance, this);
    BuildControls(WindowDpi(hwnd_));
    Loaded().Loaded(this);
    rules_.Form_Load();
}

void frmMain::BuildControls(int dpi) {
    tooltips_ = MakeTooltips(hwnd_);
    for (const ControlSpec& entry : kControls) {
        HWND control = PutControl(hwnd_, entry.kind, entry.caption, entry.style, entry.id,
                                  PlaceOf(entry), dpi);
        controls_[Slot(entry.id)] = control;
        if (entry.tooltip != nullptr) {
            Tip(tooltips_, hwnd_, control, entry.tooltip);
        }
    }
    // The drive list's edit field is a window of its own, with the same tip.
    if (HWND edit = FindWindowExW(cboDelay, nullptr, L"EDIT", nullptr); edit != nullptr) {
        Tip(tooltips_, hwnd_, edit, kControls[0].tooltip);
    }
    captions_[static_cast<std::size_t>(Caption::Label2)].label = controls_[Slot(kLabel2)];
    captions_[static_cast<std::size_t>(Caption::Label8)].label = controls_[Slot(kLabel8)];
    captions_[static_cast<std::size_t>(Caption::Label9)].label = controls_[Slot(kLabel9)];
    captions_[static_cast<std::size_t>(Caption::Label10)].label = controls_[Slot(kLabel10)];

    ShowWindow(btnAbort, SW_HIDE);
    SendMessageW(Box(MethodBox::DOD), BM_SETCHECK, BST_CHECKED, 0);
    // A themed bar ignores its colour (on Windows as under Wine); an unthemed one honours it.
    SetWindowTheme(ProgressBar1, L" ", L" ");
    SetWindowPos(ProgressBar1, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    SendMessageW(ProgressBar1, PBM_SETRANGE32, 0, 100);
    SendMessageW(ProgressBar1, PBM_SETPOS, 0, 0);
    Layout(dpi);
    SetFocus(cboDelay);
}

void frmMain::Layout(int dpi) {
    for (const ControlSpec& entry : kControls) {
        HWND control = controls_[Slot(entry.id)];
        PlaceControl(control, PlaceOf(entry), dpi);
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(DesignFont(entry.bold, dpi)),
                     TRUE);
    }
}

void frmMain::Show() {
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    UpdateWindow(hwnd_);
    SetFocus(cboDelay);
}

void frmMain::Unload() {
    RequestClose();
}

HWND frmMain::Box(MethodBox box) const {
    return controls_[Slot(kChkDOD) + static_cast<std::size_t>(box)];
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
            SetFocus(lastFocus_ != nullptr && IsWindow(lastFocus_) ? lastFocus_ : cboDelay);
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
        DrawColouredButton(item, item.CtlID == kCommand5 ? kClearButtonFace : kAbortButtonFace);
        return TRUE;
    }
    case WM_CTLCOLORSTATIC: {
        auto dc = reinterpret_cast<HDC>(wParam);
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        if (reinterpret_cast<HWND>(lParam) == Label9) {
            SetTextColor(dc, kRemainingText);
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
    case kMnuFileExit:
        rules_.mnuFileExit_Click();
        break;
    case kMnuDonate:
        rules_.mnuDonate_Click();
        break;
    case kMnuHelpAbout:
        rules_.mnuHelpAbout_Click();
        break;
    default:
        break;
    }
}

void frmMain::Command5_Click() {
    engine_->Command5_Click();
    ShowPending(); // what the job wrote after its last yield
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
    SendMessageW(cboDelay, CB_RESETCONTENT, 0, 0);
    for (const std::string& item : items) {
        SendMessageW(cboDelay, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
    }
    SendMessageW(cboDelay, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SetWindowTextW(cboDelay, L"");
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
    SendMessageW(ProgressBar1, PBM_SETBARCOLOR, 0, static_cast<LPARAM>(colour));
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

void frmMain::WriteSetting(const std::string& section, const std::string& key,
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
    if (status != ERROR_SUCCESS) {
        MsgBox(hwnd_, "The window position could not be saved (" + key +
                          "): " + ErrorText(static_cast<DWORD>(status)) + ".");
    }
}

void frmMain::RequestClose() {
    SendMessageW(hwnd_, WM_CLOSE, 0, 0);
}

// ---- JobView

std::string frmMain::driveText() {
    return WindowText(cboDelay);
}

bool frmMain::isChecked(MethodBox box) {
    return IsMethodChecked(box);
}

void frmMain::setCaption(Caption which, const std::string& text) {
    PendingCaption& caption = captions_[static_cast<std::size_t>(which)];
    caption.text.assign(text);
    caption.changed = true;
    if (which == Caption::Label8) {
        ShowPending();
        UpdateWindow(caption.label);
    }
}

void frmMain::setProgress(float percent) {
    // The bar moves in whole steps: a new value only when the step changes.
    const int value = std::clamp(static_cast<int>(std::lround(percent)), 0, 100);
    barPending_ = value != barShown_ ? value : -1;
}

void frmMain::ShowPending() {
    for (PendingCaption& caption : captions_) {
        if (caption.changed) {
            caption.changed = false;
            SetWindowTextW(caption.label, Wide(caption.text).c_str());
        }
    }
    if (barPending_ >= 0) {
        SendMessageW(ProgressBar1, PBM_SETPOS, static_cast<WPARAM>(barPending_), 0);
        barShown_ = barPending_;
        barPending_ = -1;
    }
}

void frmMain::setAbortVisible(bool visible) {
    ShowPending();
    ShowWindow(btnAbort, visible ? SW_SHOW : SW_HIDE);
    if (visible) {
        UpdateWindow(btnAbort);
    }
}

void frmMain::focusDriveList() {
    SetFocus(cboDelay);
}

void frmMain::focusClearButton() {
    SetFocus(Command5);
}

void frmMain::showMessage(const std::string& text) {
    ShowPending();
    MsgBox(hwnd_, text);
}

void frmMain::yield() {
    if (lastPump_.QuadPart != 0 && ++yieldsUnchecked_ < kYieldsPerClockRead) {
        return;
    }
    yieldsUnchecked_ = 0;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    if (lastPump_.QuadPart != 0 &&
        static_cast<double>(now.QuadPart - lastPump_.QuadPart) < kPumpIntervalMs * ticksPerMs_) {
        return;
    }
    ShowPending();
    PumpPending();
    QueryPerformanceCounter(&lastPump_);
}

} // namespace klar::win32
