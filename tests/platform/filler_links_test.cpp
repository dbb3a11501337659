// Links at filler names, planted before or during a job: the job never writes through them,
// never deletes them and never touches what they point to.
#include "job_rig.h"
#include "temp_folder.h"

#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace klar::test {
namespace {

std::string LinkTarget(const std::string& link) {
    std::error_code ec;
    return std::filesystem::read_symlink(link, ec).string();
}

TEST(FillerLinks, LinksAtLaterNumbersAreSkippedAndNeverFollowed) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, 512u << 10);
    TempFolder outside;
    const std::string victim = outside / "victim.txt";
    const std::string missing = outside / "missing.txt";
    WriteWholeFile(victim, "the user's data");
    const std::string toVictim = JoinPath(volume->root(), "00000002.txt");
    const std::string dangling = JoinPath(volume->root(), "00000003.txt");
    ASSERT_EQ(::symlink(victim.c_str(), toVictim.c_str()), 0);
    ASSERT_EQ(::symlink(missing.c_str(), dangling.c_str()), 0);
    JobRig rig(volume->driveText(), EngineLimits{16384, 3 * 16384});
    std::set<std::string> fillers;
    rig.view.onYield = [&] {
        for (const auto& name : ListFolder(volume->root())) {
            if (!std::filesystem::is_symlink(JoinPath(volume->root(), name))) {
                fillers.insert(name);
            }
        }
    };

    rig.engine.Command5_Click();

    EXPECT_EQ(rig.view.messages, std::vector<std::string>{ClearedMessage(volume->driveName())});
    EXPECT_EQ(fillers.count("00000001.txt"), 1u);
    EXPECT_EQ(fillers.count("00000004.txt"), 1u) << "the next number after the links";
    EXPECT_EQ(AsText(ReadWholeFile(victim)), "the user's data");
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(missing)));
    EXPECT_EQ(LinkTarget(toVictim), victim);
    EXPECT_EQ(LinkTarget(dangling), missing);
    EXPECT_EQ(ListFolder(volume->root()),
              (std::vector<std::string>{"00000002.txt", "00000003.txt"}));
}

// A filler replaced by a link to a user file while the job writes it: the writes go on into the
// filler through its handle, and at the pass end the link is left alone and the job says so.
TEST(FillerLinks, FillerSwappedForALinkMidPassIsNeitherWrittenThroughNorDeleted) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, 1u << 20);
    TempFolder outside;
    const std::string victim = outside / "victim.txt";
    WriteWholeFile(victim, "the user's data");
    const std::string filler = JoinPath(volume->root(), "00000001.txt");
    JobRig rig(volume->driveText());
    bool swapped = false;
    rig.view.onYield = [&] {
        if (!swapped && rig.platform.appends == 2) {
            swapped = true;
            ASSERT_EQ(::unlink(filler.c_str()), 0);
            ASSERT_EQ(::symlink(victim.c_str(), filler.c_str()), 0);
        }
    };

    rig.engine.Command5_Click();

    ASSERT_TRUE(swapped);
    EXPECT_GT(rig.platform.appends, 4) << "pass 1 went on after the swap";
    EXPECT_EQ(AsText(ReadWholeFile(victim)), "the user's data");
    EXPECT_EQ(LinkTarget(filler), victim);
    ASSERT_EQ(rig.view.messages.size(), 1u);
    const std::string prefix = NotClearedPrefix(volume->driveName());
    EXPECT_EQ(rig.view.messages[0].rfind(prefix, 0), 0u) << rig.view.messages[0];
    EXPECT_NE(rig.view.messages[0].find("00000001.txt"), std::string::npos);
    EXPECT_EQ(ListFolder(volume->root()), std::vector<std::string>{"00000001.txt"})
        << "every filler of ours deleted, the link kept";
}

} // namespace
} // namespace klar::test
