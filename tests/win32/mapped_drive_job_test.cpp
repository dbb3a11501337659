// Whole jobs on a drive letter, as a Windows user runs them: the letter typed in any case, and
// a disk that fills up in the middle of a block.
#include "job_rig.h"
#include "win32_test_support.h"

#include <gtest/gtest.h>

namespace klar::test {
namespace {

constexpr std::uint64_t kSize = 8u << 20;

/// A single sweep of the drive, past the system's cache where the drive allows it.
struct SingleSweep : JobRig {
    explicit SingleSweep(const std::string& driveText)
        : JobRig(driveText, {}, nullptr, TestStateFolder(), WritePath::Direct) {
        view.check(MethodBox::Single);
    }
};

class TypedDriveText : public ::testing::TestWithParam<std::string> {};

TEST_P(TypedDriveText, ClearsTheLettersRootAndNamesTheLetter) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kSize);
    const char letter = volume->driveName()[0];
    std::string typed = GetParam();
    for (char& c : typed) {
        if (c == 'x' || c == 'X') {
            c = static_cast<char>(c == 'x' ? letter - 'A' + 'a' : letter);
        }
    }
    SingleSweep job(typed);
    std::vector<std::string> seen;
    job.view.onYield = [&] {
        if (seen.empty() && job.state.gFileBytes > 0) {
            seen = ListFolder(volume->root());
        }
    };
    job.engine.Command5_Click();

    ASSERT_EQ(job.view.messages.size(), 1u);
    EXPECT_EQ(job.view.messages[0], ClearedMessage(std::string(1, letter)));
    EXPECT_EQ(seen, std::vector<std::string>{"00000001.txt"}) << "filler files go to the root";
    EXPECT_TRUE(ListFolder(volume->root()).empty()) << "filler files left behind";
}

// "x" stands for the mapped letter in lower case, "X" in upper case.
INSTANTIATE_TEST_SUITE_P(Win32, TypedDriveText, ::testing::Values("x", " x ", "x:", "X:\\", "X:/"),
                         [](const auto& form) { return "Form" + std::to_string(form.index); });

TEST(Win32FullDisk, ShortLastWriteStillEndsWithTheVolumeFull) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kSize);
    // The free space ends inside a block, so the last block does not fit whole.
    const std::string userData = FillVolumeLeaving(volume->root(), "user.bin", 5 * 65536 + 5000);
    SingleSweep job(volume->driveText());
    job.engine.Command5_Click();

    ASSERT_EQ(job.view.messages.size(), 1u);
    EXPECT_EQ(job.view.messages[0], ClearedMessage(volume->driveName()));
    ASSERT_FALSE(job.platform.appendLog.empty());
    const auto& last = job.platform.appendLog.back();
    EXPECT_EQ(last.kind, OsStatus::Kind::DiskFull);
    if (RunningUnderWine()) {
        const auto shortWrite = std::find_if(
            job.platform.appendLog.begin(), job.platform.appendLog.end(), [](const auto& a) {
                return a.kind == OsStatus::Kind::DiskFull && a.written > 0 && a.written < a.size;
            });
        EXPECT_NE(shortWrite, job.platform.appendLog.end())
            << "Wine was expected to write part of the last block and report success for it";
    }
    EXPECT_EQ(job.platform.leastFree, 0u) << "the tail fill must take the volume to no free space";
    EXPECT_EQ(ListFolder(volume->root()), std::vector<std::string>{"user.bin"});
    EXPECT_EQ(AsText(ReadWholeFile(JoinPath(volume->root(), "user.bin"))), userData);
}

} // namespace
} // namespace klar::test
