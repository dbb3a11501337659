// A DOD job on real bounded volumes: three full passes, the right byte in every filler file,
// nothing left behind after any pass, the texts the window shows.
#include "engine/engine.h"
#include "job_rig.h"
#include "recording_view.h"
#include "test_volume.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace klar::test {
namespace {

struct PassSeen {
    int pass = 0;
    std::uint64_t fillerBytes = 0;
    bool onlyPassByte = true;
    std::size_t files = 0;
    bool emptyAtStart = false; ///< no file on the volume when the pass began
};

class DodJob {
public:
    explicit DodJob(const TestVolume& volume) : volume_(volume) {
        InitJobState(state);
        view.drive = volume.driveText();
        view.check(MethodBox::DOD);
        view.onYield = [this] { inspect(); };
    }

    // Looks at the volume at a yield: every filler file holds only the byte of the pass that
    // Label8 names.
    void inspect() {
        const std::string& caption = view.captions[Caption::Label8];
        if (caption.rfind("Pass: ", 0) != 0) {
            return;
        }
        const int pass = std::stoi(caption.substr(6));
        if (seen.empty() || seen.back().pass != pass) {
            // The first yield of a pass comes before its first file: whatever is on the volume
            // now was left by the pass before.
            seen.push_back({pass});
            seen.back().emptyAtStart = ListFolder(volume_.root()).empty();
        }
        if (++calls_ % 64 != 0) {
            return; // reading every file at every yield would make the test quadratic
        }
        PassSeen& now = seen.back();
        const auto names = ListFolder(volume_.root());
        now.files = std::max(now.files, names.size());
        std::uint64_t bytes = 0;
        for (const auto& name : names) {
            const auto content = ReadWholeFile(JoinPath(volume_.root(), name));
            bytes += content.size();
            const std::uint8_t expected = kDod[static_cast<std::size_t>(pass - 1)];
            if (!std::all_of(content.begin(), content.end(),
                             [&](std::uint8_t b) { return b == expected; })) {
                now.onlyPassByte = false;
            }
        }
        now.fillerBytes = std::max(now.fillerBytes, bytes);
    }

    static constexpr std::uint8_t kDod[3] = {0x35, 0xCA, 0x97};
    JobState state;
    RecordingView view;
    std::vector<PassSeen> seen;

private:
    const TestVolume& volume_;
    long calls_ = 0;
};

void RunDodOn(const TestVolume& volume, std::uint64_t volumeBytes) {
    const auto space = std::filesystem::space(volume.root());
    auto platform = makeSystemPlatform();
    DodJob job(volume);
    ClockSeededRandom random;
    Engine engine(job.state, *platform, job.view, random, OnPathUnderTest({}));
    engine.Command5_Click();

    EXPECT_FALSE(job.state.gJobRunning);
    ASSERT_EQ(job.view.messages.size(), 1u);
    EXPECT_EQ(job.view.messages[0], ClearedMessage(volume.driveName()));
    EXPECT_TRUE(ListFolder(volume.root()).empty()) << "filler files left behind";
    EXPECT_TRUE(job.view.logged("Pass: 1 of 3"));
    EXPECT_TRUE(job.view.logged("Pass: 2 of 3"));
    EXPECT_TRUE(job.view.logged("Pass: 3 of 3"));
    EXPECT_TRUE(job.view.logged("Pass [2]:"));
    EXPECT_TRUE(job.view.logged("Drive Capacity: " + std::to_string(space.capacity) + " bytes"));
    EXPECT_TRUE(job.view.logged("Remaining: " + std::to_string(space.available) + " bytes"));
    EXPECT_TRUE(job.view.logged("Remaining: 0 bytes"));
    ASSERT_FALSE(job.view.progressLog.empty());
    const auto [least, most] =
        std::minmax_element(job.view.progressLog.begin(), job.view.progressLog.end());
    EXPECT_GE(*least, 0.0f);
    EXPECT_LE(*most, 100.0f);
    EXPECT_GT(*most, 90.0f) << "a pass fills nearly all of the free space";
    EXPECT_TRUE(job.view.abortVisible);

    ASSERT_EQ(job.seen.size(), 3u);
    for (const PassSeen& pass : job.seen) {
        EXPECT_TRUE(pass.onlyPassByte) << "pass " << pass.pass;
        EXPECT_TRUE(pass.emptyAtStart) << "files left when pass " << pass.pass << " began";
        // The volume was all but empty: a pass must have filled most of it.
        EXPECT_GT(pass.fillerBytes, volumeBytes / 2) << "pass " << pass.pass;
    }
}

TEST(DodOnVolume, TmpfsFilledThreeTimesAndLeftEmpty) {
    constexpr std::uint64_t kSize = 4u << 20;
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kSize);
    RunDodOn(*volume, kSize);
}

TEST(DodOnVolume, Ext2ImageFilledThreeTimesAndLeftEmpty) {
    constexpr std::uint64_t kSize = 8u << 20;
    KLAR_REQUIRE_VOLUME(volume, MakeImageVolume, kSize);
    RunDodOn(*volume, kSize);
}

} // namespace
} // namespace klar::test
