// A DOD job on real bounded volumes: three full passes, the right byte in every filler file,
// nothing left behind after any pass, the texts the window shows.
#include "job_rig.h"

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

/// Looks at the volume at a yield of the job: every filler file holds only the byte of the
/// pass that Label8 names.
class PassWatch {
public:
    PassWatch(JobRig& rig, const TestVolume& volume) : rig_(rig), volume_(volume) {}

    void inspect() {
        const int pass = PassShown(rig_.view);
        if (pass == 0) {
            return;
        }
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
        const auto fillers = ReadFillers(volume_.root());
        now.files = std::max(now.files, fillers.size());
        std::uint64_t bytes = 0;
        for (const auto& [name, content] : fillers) {
            bytes += content.size();
            now.onlyPassByte =
                now.onlyPassByte && AllBytesAre(content, kDod[static_cast<std::size_t>(pass - 1)]);
        }
        now.fillerBytes = std::max(now.fillerBytes, bytes);
    }

    static constexpr std::uint8_t kDod[3] = {0x35, 0xCA, 0x97};
    std::vector<PassSeen> seen;

private:
    JobRig& rig_;
    const TestVolume& volume_;
    long calls_ = 0;
};

void RunDodOn(const TestVolume& volume, std::uint64_t volumeBytes) {
    const auto space = std::filesystem::space(volume.root());
    JobRig rig(volume.driveText());
    PassWatch watch(rig, volume);
    rig.view.onYield = [&watch] { watch.inspect(); };

    EXPECT_TRUE(rig.engine.Run().cleared());

    const RecordingView& view = rig.view;
    EXPECT_FALSE(rig.state.gJobRunning);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0], ClearedMessage(volume.driveName()));
    EXPECT_TRUE(ListFolder(volume.root()).empty()) << "filler files left behind";
    EXPECT_TRUE(view.logged("Pass: 1 of 3"));
    EXPECT_TRUE(view.logged("Pass: 2 of 3"));
    EXPECT_TRUE(view.logged("Pass: 3 of 3"));
    EXPECT_TRUE(view.logged("Pass [2]:"));
    EXPECT_TRUE(view.logged("Drive Capacity: " + std::to_string(space.capacity) + " bytes"));
    EXPECT_TRUE(view.logged("Remaining: " + std::to_string(space.available) + " bytes"));
    EXPECT_TRUE(view.logged("Remaining: 0 bytes"));
    ASSERT_FALSE(view.progressLog.empty());
    const auto [least, most] =
        std::minmax_element(view.progressLog.begin(), view.progressLog.end());
    EXPECT_GE(*least, 0.0f);
    EXPECT_LE(*most, 100.0f);
    EXPECT_GT(*most, 90.0f) << "a pass fills nearly all of the free space";
    EXPECT_TRUE(view.abortVisible);

    ASSERT_EQ(watch.seen.size(), 3u);
    for (const PassSeen& pass : watch.seen) {
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
