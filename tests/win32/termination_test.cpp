// The end of the session (WM_QUERYENDSESSION, WM_ENDSESSION, a console closed) asks the process
// to end: a running job stops as after Abort, with its filler files deleted. The request lasts
// for the rest of the process, so the job runs in a child process of this test program.
#include "job_rig.h"
#include "platform/termination.h"
#include "win32_test_support.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <windows.h>

namespace klar::test {
namespace {

constexpr const char* kChildVariable = "KLAR_TERMINATION_CHILD";

/// Runs this very test again in a new process with kChildVariable set; its exit code.
DWORD RunThisTestInAChild() {
    wchar_t program[MAX_PATH];
    ::GetModuleFileNameW(nullptr, program, MAX_PATH);
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string(test->test_suite_name()) + "." + test->name();
    std::wstring command = L"\"" + std::wstring(program) + L"\" --gtest_filter=" +
                           std::wstring(filter.begin(), filter.end());
    ::SetEnvironmentVariableA(kChildVariable, "1");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL started = ::CreateProcessW(program, command.data(), nullptr, nullptr, FALSE, 0,
                                          nullptr, nullptr, &startup, &process);
    ::SetEnvironmentVariableA(kChildVariable, nullptr);
    if (!started) {
        return 1000 + ::GetLastError();
    }
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return code;
}

TEST(SessionEnd, ARequestToEndStopsTheJobAsAbortDoesAndDeletesItsFillers) {
    if (std::getenv(kChildVariable) == nullptr) {
        EXPECT_EQ(RunThisTestInAChild(), 0u) << "the job in the child process (see its output)";
        return;
    }
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, 1u << 20);
    JobRig rig(volume->driveText());
    rig.view.onYield = [&] {
        if (rig.platform.appends == 3) {
            RequestTermination(); // as the window does on WM_QUERYENDSESSION
        }
    };
    ASSERT_FALSE(TerminationRequested());
    rig.engine.Command5_Click();
    EXPECT_TRUE(TerminationRequested());
    EXPECT_EQ(rig.platform.appends, 3);
    EXPECT_TRUE(rig.view.messages.empty());
    EXPECT_EQ(rig.view.captions[Caption::Label9], "Remaining:");
    EXPECT_TRUE(ReadFillers(volume->root()).empty());
    EXPECT_FALSE(rig.state.gJobRunning);
}

} // namespace
} // namespace klar::test
