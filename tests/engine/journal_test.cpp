// The journal of filler files: what a job that died left is removed at the next start, and
// nothing else, even a user's file put in a filler's place under its name and with its bytes.
#include "engine/journal.h"
#include "job_rig.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace klar::test {
namespace {
namespace fs = std::filesystem;

TEST(Journal, ReplayRemovesOnlyTheFillersOfAJobThatIsGoneAndSaysHowMuch) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, 1u << 20);
    const TempFolder temp;
    const std::string state = temp / "state"; // made by the journal
    auto platform = makeSystemPlatform();
    FolderId folder;
    ASSERT_TRUE(platform->folderIdentity(volume->root(), folder).ok());
    const std::uint8_t fill = 0x35;
    const std::string block(10'000, static_cast<char>(fill));
    const auto path = [&](int n) {
        return JoinPath(volume->root(), "0000000" + std::to_string(n) + ".txt");
    };
    {
        JobJournal journal(SystemStateFiles(), state);
        ASSERT_TRUE(journal.Open().ok());
        for (int n = 1; n <= 4; ++n) {
            const std::string name = "0000000" + std::to_string(n) + ".txt";
            ASSERT_TRUE(journal.Next(volume->root(), folder, name, fill).ok());
            FillerHandle file;
            ASSERT_TRUE(platform->createExclusive(path(n), file).ok());
            if (n < 4) { // the job dies while creating filler 4: it is announced, never recorded
                ASSERT_TRUE(journal.Made(name, file.id).ok());
                std::size_t written = 0;
                ASSERT_TRUE(platform
                                ->append(file, reinterpret_cast<const std::uint8_t*>(block.data()),
                                         block.size(), written)
                                .ok());
            }
            if (n == 3) { // no longer the filler the job wrote: its last byte differs
                const std::uint8_t other = 'u';
                std::size_t written = 0;
                ASSERT_TRUE(platform->append(file, &other, 1, written).ok());
            }
            platform->close(file);
        }
        // Announced, and then the name was found taken: the user's file there is left alone.
        WriteWholeFile(path(5), "");
        ASSERT_TRUE(journal.Next(volume->root(), folder, "00000005.txt", fill).ok());
        ASSERT_TRUE(journal.NotMade("00000005.txt").ok());
        // Announced, and the job died before it knew what it made: only an empty file goes.
        WriteWholeFile(path(6), "the user's");
        ASSERT_TRUE(journal.Next(volume->root(), folder, "00000006.txt", fill).ok());
        EXPECT_EQ(RemoveLeftovers(*platform, state).files, 0u)
            << "the journal of a running job is left alone";
        // A user's file now stands where filler 2 was, with a filler's very bytes.
        fs::remove(path(2));
        WriteWholeFile(path(2), block);
        // The journal goes out of scope without End(): the job did not reach its end.
    }
    const Leftovers removed = RemoveLeftovers(*platform, state);
    EXPECT_EQ(removed.files, 2u);
    EXPECT_EQ(removed.bytes, block.size());
    EXPECT_EQ(LeftoversMessage(removed),
              "An interrupted job had left 2 filler files (10000 bytes). They were removed.");
    EXPECT_EQ(
        ListFolder(volume->root()),
        (std::vector<std::string>{"00000002.txt", "00000003.txt", "00000005.txt", "00000006.txt"}));
    EXPECT_EQ(AsText(ReadWholeFile(path(2))), block) << "the user's file is untouched";
    EXPECT_TRUE(fs::is_empty(state)) << "a replayed journal goes";
    EXPECT_EQ(LeftoversMessage(RemoveLeftovers(*platform, state)), "");
    for (const int n : {2, 3, 5, 6}) {
        fs::remove(path(n));
    }

    // A job that reaches its end takes its journal with it; one that could not delete a filler
    // keeps it, and a later start removes that filler.
    for (const bool refused : {false, true}) {
        JobRig rig(volume->driveText(), {}, nullptr, state);
        rig.view.check(MethodBox::Single);
        if (refused) {
            rig.platform.failRemove(FaultyPlatform::error(5, "Input/output error"));
        }
        bool journaled = false;
        rig.view.onYield = [&] { journaled = journaled || !fs::is_empty(state); };
        rig.engine.Command5_Click();
        EXPECT_TRUE(journaled);
        EXPECT_EQ(fs::is_empty(state), !refused);
        EXPECT_EQ(ListFolder(volume->root()).empty(), !refused);
        const Leftovers later = RemoveLeftovers(*platform, state);
        EXPECT_EQ(later.files > 0, refused);
        EXPECT_TRUE(ListFolder(volume->root()).empty());
        EXPECT_TRUE(fs::is_empty(state));
    }

    // Fillers on a drive that is not there are looked for at later starts, for 30 days.
    const std::string gone = JoinPath(volume->root(), "gone");
    for (const std::string& since : {std::string(), std::string("since 1000000000\n")}) {
        WriteWholeFile(JoinPath(state, "job-1.journal"),
                       "klarvenor journal 2\n" + since + "folder 1 2 " + gone +
                           "\nnext 53 00000001.txt\nmade 1 3 00000001.txt\n");
        const Leftovers kept = RemoveLeftovers(*platform, state);
        EXPECT_EQ(kept.kept, since.empty() ? 1u : 0u) << since;
        EXPECT_EQ(RemoveLeftovers(*platform, state).kept, since.empty() ? 1u : 0u) << since;
        fs::remove_all(state);
    }
}

} // namespace
} // namespace klar::test
