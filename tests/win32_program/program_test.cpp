// The real klarvenor.exe, driven from this second process the way a user meets it: windows
// found by caption, controls by identifier, clicks and menu commands posted (anything that
// opens a modal loop must not block the driver), texts asked with a timeout. Runs under Wine
// on a virtual display in the Windows stage.
#include "forms/app_version.h"
#include "forms/main_form.h"
#include "forms/main_layout.h"
#include "test_volume.h"
#include "win32/control_ids.h"
#include "win32/win_util.h" // <windows.h> before <commctrl.h>

#include <bit>
#include <chrono>
#include <commctrl.h>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <thread>
#include <windows.h>

namespace klar::win32 {
namespace {

using Clock = std::chrono::steady_clock;

bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::string Text(HWND window) {
    wchar_t buffer[1024] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, std::size(buffer), reinterpret_cast<LPARAM>(buffer),
                        SMTO_ABORTIFHUNG, 5000, &length);
    std::string text;
    for (DWORD_PTR i = 0; i < length; ++i) {
        text += static_cast<char>(buffer[i]); // the windows' texts are ASCII
    }
    return text;
}

LRESULT Ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result);
    return static_cast<LRESULT>(result);
}

/// The program, started for one test and ended with it.
class Program {
public:
    Program() {
        std::string path =
            std::getenv("KLAR_PROGRAM") != nullptr ? std::getenv("KLAR_PROGRAM") : "";
        if (!path.empty() && path[0] == '/') { // a Unix path: Wine sees the root as Z:
            path = "Z:" + path;
        }
        std::wstring command(path.begin(), path.end());
        for (wchar_t& c : command) {
            c = c == L'/' ? L'\\' : c;
        }
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        started_ = CreateProcessW(command.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &startup, &process_) != FALSE;
        if (started_) {
            WaitForInputIdle(process_.hProcess, 10000);
            WaitUntil([&] { return (main = Top(forms::kMainCaption)) != nullptr; });
        }
    }
    ~Program() {
        if (started_) {
            if (!Ended(0)) {
                TerminateProcess(process_.hProcess, 1);
            }
            CloseHandle(process_.hThread);
            CloseHandle(process_.hProcess);
        }
    }

    /// A visible top-level window of this program with the caption.
    HWND Top(const std::string& caption) const {
        struct Search {
            DWORD pid;
            std::string caption;
            HWND found = nullptr;
        } search{process_.dwProcessId, caption};
        EnumWindows(
            [](HWND window, LPARAM data) -> BOOL {
                auto& s = *reinterpret_cast<Search*>(data);
                DWORD pid = 0;
                GetWindowThreadProcessId(window, &pid);
                if (pid == s.pid && IsWindowVisible(window) && Text(window) == s.caption) {
                    s.found = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }
    HWND Control(int id) const { return GetDlgItem(main, id); }
    std::string Caption(int id) const { return Text(Control(id)); }
    bool Checked(int id) const { return Ask(Control(id), BM_GETCHECK) == BST_CHECKED; }
    void Click(int id) const {
        PostMessageW(main, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(Control(id)));
    }
    void ClickBox(int id) const { PostMessageW(Control(id), BM_CLICK, 0, 0); }
    /// Posts the clicks while the program's thread stands still, so that all of them wait in
    /// its queue before the first one runs.
    void ClickAll(std::initializer_list<int> ids) const {
        HANDLE thread =
            OpenThread(THREAD_SUSPEND_RESUME, FALSE, GetWindowThreadProcessId(main, nullptr));
        SuspendThread(thread);
        for (int id : ids) {
            Click(id);
        }
        ResumeThread(thread);
        CloseHandle(thread);
    }
    /// The control with the keyboard focus (the drive list's edit field counts as the list).
    HWND Focus() const {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &info);
        HWND focus = info.hwndFocus;
        return focus != nullptr && GetParent(focus) == Control(kCboDelay) ? Control(kCboDelay)
                                                                          : focus;
    }

    /// Waits for the program's message box and answers it with OK; its text, or "" if none came.
    std::string AnswerMessage(int timeoutMs = 20000) const {
        HWND box = nullptr;
        WaitUntil([&] { return (box = Top(kAppTitle)) != nullptr; }, timeoutMs);
        if (box == nullptr) {
            return "";
        }
        std::string text;
        for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t kind[32] = {};
            GetClassNameW(child, kind, 32);
            if (lstrcmpiW(kind, L"Static") == 0 && Text(child).size() > text.size()) {
                text = Text(child);
            }
        }
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
        WaitUntil([&] { return !IsWindow(box); });
        return text;
    }
    bool Ended(int timeoutMs) const {
        return WaitForSingleObject(process_.hProcess, static_cast<DWORD>(timeoutMs)) ==
               WAIT_OBJECT_0;
    }

    HWND main = nullptr;

private:
    PROCESS_INFORMATION process_{};
    bool started_ = false;
};

const int kMethodBoxes[] = {kChkDOD, kChkNSA, kChkGuttman, kChkUK, kChkCanada, kChkSingle};

std::vector<int> CheckedBoxes(const Program& program) {
    std::vector<int> checked;
    for (int id : kMethodBoxes) {
        if (program.Checked(id)) {
            checked.push_back(id);
        }
    }
    return checked;
}

void PressKeys(std::initializer_list<WORD> keys) {
    std::vector<INPUT> inputs;
    for (WORD key : keys) {
        INPUT press{};
        press.type = INPUT_KEYBOARD;
        press.ki.wVk = key;
        inputs.push_back(press);
    }
    for (auto it = keys.end(); it != keys.begin();) {
        INPUT release{};
        release.type = INPUT_KEYBOARD;
        release.ki.wVk = *--it;
        release.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(release);
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

std::string Registry(const wchar_t* name) {
    wchar_t value[64] = {};
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Klarvenor\\Settings", name, RRF_RT_REG_SZ,
                     nullptr, value, &size) != ERROR_SUCCESS) {
        return "(none)";
    }
    std::string text;
    for (const wchar_t* c = value; *c != 0; ++c) {
        text += static_cast<char>(*c);
    }
    return text;
}

/// The bytes of every file in the folder but the user's letter.
std::uint64_t FillerBytes(const std::string& root) {
    std::uint64_t bytes = 0;
    for (const std::string& name : test::ListFolder(root)) {
        if (name != "letter.txt") {
            bytes += std::filesystem::file_size(test::JoinPath(root, name));
        }
    }
    return bytes;
}

/// Every control of the window's table is there, in the table's order (the tab order), with
/// its caption and inside the client area. (Not the menus: under Wine a menu handle does not
/// reach into another process.)
void ExpectTheTablesControls(const Program& program) {
    std::vector<int> children;
    for (HWND child = GetWindow(program.main, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(GetDlgCtrlID(child));
    }
    std::vector<int> table;
    RECT client{};
    GetClientRect(program.main, &client);
    for (const forms::ControlDesign& design : forms::kMainControls) {
        SCOPED_TRACE(design.name);
        const int id = MainControlId(design.name);
        table.push_back(id);
        ASSERT_NE(program.Control(id), nullptr);
        EXPECT_EQ(program.Caption(id), design.caption);
        RECT place{};
        GetWindowRect(program.Control(id), &place);
        MapWindowPoints(nullptr, program.main, reinterpret_cast<POINT*>(&place), 2);
        EXPECT_TRUE(place.left >= 0 && place.top >= 0 && place.right <= client.right &&
                    place.bottom <= client.bottom)
            << "outside the client area";
    }
    EXPECT_EQ(children, table);
}

TEST(Program, FromStartToFileExitAsAUserMeetsIt) {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Klarvenor");
    Program program;
    ASSERT_NE(program.main, nullptr)
        << "no main window; KLAR_PROGRAM=" << std::getenv("KLAR_PROGRAM");

    // First show: a fixed window without a maximise box, the design's start state.
    const LONG style = GetWindowLongW(program.main, GWL_STYLE);
    EXPECT_EQ(style & (WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
    EXPECT_EQ(program.Caption(kCboDelay), "");
    EXPECT_EQ(Ask(program.Control(kCboDelay), CB_GETCOUNT),
              static_cast<LRESULT>(std::popcount(GetLogicalDrives())));
    EXPECT_EQ(CheckedBoxes(program), std::vector<int>{kChkDOD});
    EXPECT_FALSE(IsWindowVisible(program.Control(kBtnAbort)));
    EXPECT_EQ(program.Caption(kLabel8), "");
    EXPECT_EQ(program.Caption(kLabel2), "Pass [ ]:");
    EXPECT_EQ(program.Caption(kLabel9), "Remaining:");
    EXPECT_EQ(program.Caption(kLabel10), "Drive Capacity:");
    EXPECT_EQ(Ask(program.Control(kProgressBar1), PBM_GETPOS), 0);
    EXPECT_EQ(Ask(program.Control(kProgressBar1), PBM_GETBARCOLOR), forms::kBarColour);
    ExpectTheTablesControls(program);

    // The donation window comes in front of the main window about 200 ms after the start.
    HWND donate = nullptr;
    ASSERT_TRUE(
        WaitUntil([&] { return (donate = program.Top("Please make a donation.")) != nullptr; }));
    EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == donate; }, 3000));

    // The keyboard: the focus is in the drive list; Tab goes down the tab order past the
    // hidden Abort button; Alt+C presses Clear Drive, which asks for a drive first.
    SetForegroundWindow(program.main);
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == program.main; }));
    EXPECT_TRUE(WaitUntil([&] { return program.Focus() == program.Control(kCboDelay); }));
    PressKeys({VK_TAB});
    EXPECT_TRUE(WaitUntil([&] { return program.Focus() == program.Control(kCommand5); }));
    PressKeys({VK_TAB});
    EXPECT_TRUE(WaitUntil([&] { return program.Focus() == program.Control(kChkDOD); }));
    PressKeys({VK_MENU, 'C'});
    EXPECT_EQ(program.AnswerMessage(), "You must select a drive letter");

    // One method box at a time, and none allowed.
    program.ClickBox(kChkGuttman);
    EXPECT_TRUE(WaitUntil([&] { return CheckedBoxes(program) == std::vector<int>{kChkGuttman}; }));
    program.ClickBox(kChkGuttman);
    EXPECT_TRUE(WaitUntil([&] { return CheckedBoxes(program).empty(); }));

    // The close box is refused while no File > Exit was chosen.
    PostMessageW(program.main, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.AnswerMessage(), forms::kUseFileExit);
    EXPECT_FALSE(program.Ended(300));

    // About: the version, modal to the main window.
    program.Click(kMnuHelpAbout);
    HWND about = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (about = program.Top("About Klarvenor")) != nullptr; }));
    EXPECT_EQ(Text(GetDlgItem(about, kLblVersion)), "Version " KLAR_PROJECT_VERSION);
    EXPECT_FALSE(IsWindowEnabled(program.main));
    PostMessageW(about, WM_COMMAND, MAKEWPARAM(kCmdOK, BN_CLICKED), 0);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(program.main) != FALSE; }));

    // File > Exit from the keyboard closes the donation window, writes the placement in twips
    // and ends the program.
    RECT outer{};
    GetWindowRect(program.main, &outer);
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    SetForegroundWindow(program.main);
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == program.main; }));
    PressKeys({VK_MENU, 'F'});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    PressKeys({'X'});
    ASSERT_TRUE(program.Ended(10000)) << "File > Exit did not end the program";
    EXPECT_EQ(Registry(L"MainLeft"), forms::PlacementText(forms::PixelsToTwips(outer.left, dpi)));
    EXPECT_EQ(Registry(L"MainTop"), forms::PlacementText(forms::PixelsToTwips(outer.top, dpi)));
    EXPECT_EQ(Registry(L"MainWidth"),
              forms::PlacementText(forms::PixelsToTwips(outer.right - outer.left, dpi)));
    EXPECT_EQ(Registry(L"MainHeight"),
              forms::PlacementText(forms::PixelsToTwips(outer.bottom - outer.top, dpi)));
}

TEST(Program, ASingleSweepClearsAMappedDriveOnceRefusesExitAboutSuspendsAndAbortStops) {
    KLAR_REQUIRE_VOLUME(volume, test::MakeRamVolume, 6u << 20);
    const std::string userFile = test::JoinPath(volume->root(), "letter.txt");
    test::WriteWholeFile(userFile, "Dear user, this stays.");
    Program program;
    ASSERT_NE(program.main, nullptr);
    SendMessageTimeoutW(
        program.Control(kCboDelay), WM_SETTEXT, 0,
        reinterpret_cast<LPARAM>(
            std::wstring(volume->driveText().begin(), volume->driveText().end()).c_str()),
        SMTO_ABORTIFHUNG, 5000, nullptr);
    program.ClickBox(kChkSingle);
    ASSERT_TRUE(WaitUntil([&] { return CheckedBoxes(program) == std::vector<int>{kChkSingle}; }));

    // A second Clear Drive and File > Exit reach the window at the job's first yield: the
    // first changes nothing, the second is refused; the job goes on, once.
    program.ClickAll({kCommand5, kCommand5, kMnuFileExit});
    EXPECT_EQ(program.AnswerMessage(), forms::kStillRunning);
    EXPECT_EQ(program.AnswerMessage(60000), "Disk (" + volume->driveName() + ") cleared.");
    EXPECT_EQ(program.AnswerMessage(500), "");
    EXPECT_EQ(test::ListFolder(volume->root()), std::vector<std::string>{"letter.txt"});
    const auto kept = test::ReadWholeFile(userFile);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "Dear user, this stays.");
    EXPECT_EQ(program.Caption(kLabel8), "Pass: 1 of 1");

    // About during the next job suspends it: nothing more is written until it is closed.
    // Abort, reaching the window before it closes, then stops the job: no message, no
    // filler, the display reset.
    program.ClickAll({kCommand5, kMnuHelpAbout});
    HWND about = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (about = program.Top("About Klarvenor")) != nullptr; }));
    const std::uint64_t suspendedAt = FillerBytes(volume->root());
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the whole job takes less
    EXPECT_TRUE(IsWindowVisible(program.Control(kBtnAbort))) << "the job is not running";
    EXPECT_EQ(FillerBytes(volume->root()), suspendedAt);
    program.Click(kBtnAbort);
    PostMessageW(about, WM_COMMAND, MAKEWPARAM(kCmdOK, BN_CLICKED), 0);
    EXPECT_TRUE(WaitUntil([&] {
        return !IsWindowVisible(program.Control(kBtnAbort)) &&
               program.Caption(kLabel2) == "Pass [ ]:";
    }));
    EXPECT_EQ(program.AnswerMessage(1000), "");
    EXPECT_EQ(test::ListFolder(volume->root()), std::vector<std::string>{"letter.txt"});
    EXPECT_EQ(program.Caption(kLabel9), "Remaining:");
    EXPECT_EQ(Ask(program.Control(kProgressBar1), PBM_GETPOS), 0);

    // File > Exit was chosen once, so the close box now ends the program without a word.
    PostMessageW(program.main, WM_CLOSE, 0, 0);
    EXPECT_TRUE(program.Ended(10000));
}

} // namespace
} // namespace klar::win32
