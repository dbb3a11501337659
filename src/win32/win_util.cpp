#include "win32/win_util.h"

#include "forms/app_version.h"

#include <cmath>
#include <commctrl.h>
#include <map>
#include <shellapi.h>
#include <utility>

namespace klar::win32 {

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) {
        return {};
    }
    const int size = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
    return wide;
}

std::string Utf8(const std::wstring& wide) {
    if (wide.empty()) {
        return {};
    }
    const int size = static_cast<int>(wide.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), length, nullptr, nullptr);
    return utf8;
}

std::string WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return Utf8(text);
}

std::string ErrorText(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text =
        length != 0 ? std::wstring(buffer, length) : L"error " + std::to_wstring(code);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L'.')) {
        text.pop_back();
    }
    return Utf8(text);
}

int WindowDpi(HWND window) {
    // GetDpiForWindow exists from Windows 10 1607; older systems have one DPI for all.
    using GetDpi = UINT(WINAPI*)(HWND);
    static const auto getDpi = reinterpret_cast<GetDpi>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpi != nullptr && window != nullptr) {
        if (const UINT dpi = getDpi(window); dpi != 0) {
            return static_cast<int>(dpi);
        }
    }
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

int Px(int twips, int dpi) {
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

namespace {

int CALLBACK NoteFace(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool HasFace(const wchar_t* face) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(wanted.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    HDC screen = GetDC(nullptr);
    EnumFontFamiliesExW(screen, &wanted, NoteFace, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

const wchar_t* DesignFace() {
    static const wchar_t* const face = [] {
        for (const wchar_t* candidate : {L"MS Sans Serif", L"Microsoft Sans Serif", L"Tahoma"}) {
            if (HasFace(candidate)) {
                return candidate;
            }
        }
        return L"Arial";
    }();
    return face;
}

} // namespace

HFONT DesignFont(bool bold, int dpi, double points) {
    // One font of each kind per size for the life of the program.
    static std::map<std::pair<int, long>, HFONT> fonts;
    const long key = std::lround(points * 100) * (bold ? -1 : 1);
    HFONT& font = fonts[{dpi, key}];
    if (font == nullptr) {
        font = CreateFontW(-static_cast<int>(std::lround(points * dpi / 72.0)), 0, 0, 0,
                           bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_SWISS, DesignFace());
    }
    return font;
}

HWND PutControl(HWND parent, const wchar_t* kind, const std::string& caption, DWORD style, int id,
                const RECT& twips, int dpi) {
    HWND control = CreateWindowExW(
        0, kind, Wide(caption).c_str(), WS_CHILD | WS_VISIBLE | style, Px(twips.left, dpi),
        Px(twips.top, dpi), Px(twips.right, dpi), Px(twips.bottom, dpi), parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    return control;
}

void PlaceControl(HWND control, const RECT& twips, int dpi) {
    SetWindowPos(control, nullptr, Px(twips.left, dpi), Px(twips.top, dpi), Px(twips.right, dpi),
                 Px(twips.bottom, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND MakeTooltips(HWND parent) {
    HWND tips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, parent, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    SendMessageW(tips, TTM_SETMAXTIPWIDTH, 0, 400);
    return tips;
}

void Tip(HWND tooltips, HWND parent, HWND control, const std::string& text) {
    std::wstring wide = Wide(text);
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = parent;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = wide.data();
    SendMessageW(tooltips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void DrawColouredButton(const DRAWITEMSTRUCT& item, COLORREF face) {
    RECT box = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    HBRUSH brush = CreateSolidBrush(face);
    FillRect(item.hDC, &box, brush);
    DeleteObject(brush);
    if ((item.itemState & ODS_FOCUS) != 0) {
        FrameRect(item.hDC, &box, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        InflateRect(&box, -1, -1);
    }
    DrawEdge(item.hDC, &box, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    std::wstring caption(static_cast<std::size_t>(GetWindowTextLengthW(item.hwndItem)) + 1, L'\0');
    caption.resize(static_cast<std::size_t>(
        GetWindowTextW(item.hwndItem, caption.data(), static_cast<int>(caption.size()))));
    if (pressed) {
        OffsetRect(&box, 1, 1);
    }
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, RGB(0, 0, 0));
    // The access key stays underlined: DrawText treats "&" as its marker.
    DrawTextW(item.hDC, caption.c_str(), -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if ((item.itemState & ODS_FOCUS) != 0) {
        InflateRect(&box, -3, -3);
        DrawFocusRect(item.hDC, &box);
    }
}

void MoveToSuggestedRect(HWND window, LPARAM suggestedRect) {
    const RECT* suggested = reinterpret_cast<const RECT*>(suggestedRect);
    SetWindowPos(window, nullptr, suggested->left, suggested->top,
                 suggested->right - suggested->left, suggested->bottom - suggested->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void MsgBox(HWND owner, const std::string& text) {
    MessageBoxW(owner, Wide(text).c_str(), Wide(kAppTitle).c_str(), MB_OK);
}

void OpenWebPage(HWND owner, const std::string& address) {
    (void)ShellExecuteW(owner, L"open", Wide(address).c_str(), nullptr, L"", 0);
}

void Dispatch(MSG& message) {
    HWND root = message.hwnd != nullptr ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    if (root != nullptr && IsDialogMessageW(root, &message)) {
        return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

void PumpPending() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam)); // for the loop that ends
            return;
        }
        Dispatch(message);
    }
}

int RunMessageLoop() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        Dispatch(message);
    }
    return static_cast<int>(message.wParam);
}

void RunModal(HWND dialog, HWND owner) {
    EnableWindow(owner, FALSE);
    ShowWindow(dialog, SW_SHOW);
    MSG message;
    while (IsWindow(dialog)) {
        if (GetMessageW(&message, nullptr, 0, 0) <= 0) {
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        Dispatch(message);
    }
    EnableWindow(owner, TRUE);
    SetActiveWindow(owner);
}

} // namespace klar::win32
