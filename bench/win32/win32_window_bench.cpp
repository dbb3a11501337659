// Fill speed of one single-sweep job through the real Win32 main window against the same job
// through the engine alone, whose view never pumps messages, alternating on one drive letter.
// Ends with "win32 window/engine ratio: X.XX" (median against median).
//
// Usage: win32_window_bench DRIVE_LETTER [RUNS]   (scripts/bench-windows.sh maps a tmpfs)
#include "engine/engine.h"
#include "engine/random_source.h"
#include "silent_view.h"
#include "win32/control_ids.h"
#include "win32/frm_main.h"
#include "win32/win_util.h"

#include <algorithm>
#include <chrono>
#include <commctrl.h>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace klar;

Clock::time_point gBoxShown;
std::string gBoxText;
HHOOK gHook = nullptr;

/// Notes when the completion box appears and answers it at once.
LRESULT CALLBACK AnswerBoxes(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        auto box = reinterpret_cast<HWND>(wParam);
        wchar_t kind[16] = {};
        GetClassNameW(box, kind, 16);
        if (lstrcmpW(kind, L"#32770") == 0) {
            gBoxShown = Clock::now();
            for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
                 child = GetWindow(child, GW_HWNDNEXT)) {
                const std::string text = win32::WindowText(child);
                gBoxText = text.size() > gBoxText.size() ? text : gBoxText;
            }
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
    }
    return CallNextHookEx(gHook, code, wParam, lParam);
}

double MBps(std::uint64_t bytes, Clock::time_point start) {
    const double seconds = std::chrono::duration<double>(gBoxShown - start).count();
    return static_cast<double>(bytes) / 1e6 / seconds;
}

std::uint64_t FreeBytes(const std::string& root) {
    ULARGE_INTEGER available{};
    GetDiskFreeSpaceExW(win32::Wide(root).c_str(), &available, nullptr, nullptr);
    return available.QuadPart;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: win32_window_bench DRIVE_LETTER [RUNS]\n");
        return 2;
    }
    const std::string drive = argv[1];
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const std::string root = drive + ":\\";
    const std::string cleared = "Disk (" + drive + ") cleared.";

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    win32::RegisterFormClasses(GetModuleHandleW(nullptr));
    gHook = SetWindowsHookExW(WH_CBT, AnswerBoxes, nullptr, GetCurrentThreadId());

    JobState state;
    InitJobState(state);
    auto platform = makeSystemPlatform();
    win32::AppForms forms;
    win32::frmMain window(state, *platform, forms);
    window.Form_Load();
    window.Show();
    HWND main = window.Window();
    SetWindowTextW(GetDlgItem(main, win32::kCboDelay), win32::Wide(drive).c_str());
    SendMessageW(GetDlgItem(main, win32::kChkSingle), BM_CLICK, 0, 0);
    win32::PumpPending();

    std::vector<double> windowRates;
    std::vector<double> engineRates;
    for (int run = 0; run < runs; ++run) {
        gBoxText.clear();
        std::uint64_t bytes = FreeBytes(root);
        auto start = Clock::now();
        PostMessageW(main, WM_COMMAND, MAKEWPARAM(win32::kCommand5, BN_CLICKED), 0);
        win32::PumpPending(); // the click runs the whole job, pumping as it goes
        if (gBoxText != cleared) {
            std::fprintf(stderr, "window job ended with \"%s\"\n", gBoxText.c_str());
            return 1;
        }
        windowRates.push_back(MBps(bytes, start));

        gBoxText.clear();
        JobState engineState;
        InitJobState(engineState);
        test::SilentView view(drive, [](const std::string&) { gBoxShown = Clock::now(); });
        ClockSeededRandom random;
        Engine engine(engineState, *platform, view, random);
        bytes = FreeBytes(root);
        start = Clock::now();
        if (const JobOutcome outcome = engine.Run(); !outcome.cleared()) {
            std::fprintf(stderr, "engine job ended with \"%s\"\n", OutcomeMessage(outcome).c_str());
            return 1;
        }
        engineRates.push_back(MBps(bytes, start));
        std::printf("run %d: win32 window %.0f MB/s, engine %.0f MB/s\n", run + 1,
                    windowRates.back(), engineRates.back());
        std::fflush(stdout);
    }
    std::printf("median: win32 window %.0f MB/s, engine %.0f MB/s\n", Median(windowRates),
                Median(engineRates));
    std::printf("win32 window/engine ratio: %.2f\n", Median(windowRates) / Median(engineRates));
    UnhookWindowsHookEx(gHook);
    return 0;
}
