// The journal of filler files: what a job that died left is removed at the next start, and
// nothing else, even a user's file put in a filler's place under its name and with its bytes.
#include "job_rig.h"
#include "journal.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace klar::test {
namespace {
namespace fs = std::filesystem;

TEST(Journal, ReplayRemovesOnlyTheFillersOfAJobThatIsGoneAndSaysHowMuch) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, 1u << 20);
    const fs::path state =
        fs::temp_directory_path() /
        ("klar-state-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::remove_all(state);
    auto platform = makeSystemPlatform();
    const std::uint8_t fill = 0x35;
    const std::vector<std::uint8_t> block(10'000, fill);
    std::vector<std::string> paths;
    {
        JobJournal journal(state.string());
        for (int n = 1; n <= 3; ++n) {
            paths.push_back(JoinPath(volume->root(), "0000000" + std::to_string(n) + ".txt"));
            FillerHandle file;
            ASSERT_TRUE(platform->createExclusive(paths.back(), file).ok());
            ASSERT_TRUE(journal.Add(paths.back(), file.id, fill));
            std::size_t written = 0;
            ASSERT_TRUE(platform->append(file, block.data(), block.size(), written).ok());
            platform->close(file);
        }
        EXPECT_EQ(RemoveLeftovers(*platform, state.string()).files, 0u)
            << "the journal of a running job is left alone";
        // A user's file now stands where filler 2 was, with a filler's very bytes.
        fs::remove(paths[1]);
        WriteWholeFile(paths[1], std::string(block.begin(), block.end()));
        // The journal goes out of scope without End(): the job did not reach its end.
    }
    const Leftovers removed = RemoveLeftovers(*platform, state.string());
    EXPECT_EQ(removed.files, 2u);
    EXPECT_EQ(removed.bytes, 2 * block.size());
    EXPECT_EQ(LeftoversMessage(removed),
              "An interrupted job had left 2 filler files (20000 bytes). They were removed.");
    EXPECT_EQ(ListFolder(volume->root()), std::vector<std::string>{"00000002.txt"});
    EXPECT_EQ(ReadWholeFile(paths[1]), block) << "the user's file is untouched";
    EXPECT_TRUE(fs::is_empty(state)) << "a replayed journal goes";
    EXPECT_EQ(LeftoversMessage(RemoveLeftovers(*platform, state.string())), "");

    // A job that reaches its end takes its journal with it.
    fs::remove(paths[1]);
    JobRig rig(volume->driveText(), {}, nullptr, state.string());
    rig.view.check(MethodBox::Single);
    bool journaled = false;
    rig.view.onYield = [&] { journaled = journaled || !fs::is_empty(state); };
    rig.engine.Command5_Click();
    EXPECT_EQ(rig.view.messages,
              std::vector<std::string>{"Disk (" + volume->driveName() + ") cleared."});
    EXPECT_TRUE(journaled);
    EXPECT_TRUE(fs::is_empty(state));
    fs::remove_all(state);
}

} // namespace
} // namespace klar::test
