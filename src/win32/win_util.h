#pragma once

#include <string>
#include <windows.h>

namespace klar::win32 {

[[nodiscard]] std::wstring Wide(const std::string& utf8);
[[nodiscard]] std::string Utf8(const std::wstring& wide);
/// A window's text, as UTF-8.
[[nodiscard]] std::string WindowText(HWND window);
/// The system's words for an error code.
[[nodiscard]] std::string ErrorText(DWORD code);

/// The dots per inch the window is shown at (the monitor's, as this program is DPI aware).
[[nodiscard]] int WindowDpi(HWND window);
/// A length in twips as pixels at dpi.
[[nodiscard]] int Px(int twips, int dpi);

/// The face the windows were designed in, bold or regular, at 8.25 points and dpi. Where the
/// system lacks it, the first it has of a few with the same metrics.
[[nodiscard]] HFONT DesignFont(bool bold, int dpi, double points = 8.25);

/// Creates a child control at a place given in twips.
HWND PutControl(HWND parent, const wchar_t* kind, const std::string& caption, DWORD style, int id,
                const RECT& twips, int dpi);
/// Places a control again at dpi (after the window moved to another monitor).
void PlaceControl(HWND control, const RECT& twips, int dpi);

/// A tooltip window for parent's controls; Tip adds one control's text.
HWND MakeTooltips(HWND parent);
void Tip(HWND tooltips, HWND parent, HWND control, const std::string& text);

/// Paints an owner-drawn push button with a flat colour face and a raised edge.
void DrawColouredButton(const DRAWITEMSTRUCT& item, COLORREF face);

/// Moves and sizes a window to the rectangle that WM_DPICHANGED suggests (its lParam).
void MoveToSuggestedRect(HWND window, LPARAM suggestedRect);

/// The program's message box: the text, an OK button and the caption "Klarvenor".
void MsgBox(HWND owner, const std::string& text);

/// Asks the shell to open a web page, owned by owner; a failure is not reported.
void OpenWebPage(HWND owner, const std::string& address);

/// Runs every pending message, with dialog keyboard navigation. A quit request is kept.
void PumpPending();
/// Dispatches one message, with dialog keyboard navigation for its top-level window.
void Dispatch(MSG& message);
/// Runs the message loop until the quit request; returns its exit code.
int RunMessageLoop();
/// Runs messages with owner disabled until dialog is destroyed.
void RunModal(HWND dialog, HWND owner);

} // namespace klar::win32
