// ext4's pool of reserved clusters: lifted by root for the last stretch of a pass's fill, given
// back on every way out, and by the next start when the job died with it lifted.
#include "child_process.h"
#include "job_rig.h"
#include "platform/posix/held_back.h"
#include "temp_folder.h"

#include <climits>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace klar::test {
namespace {

std::string Pool(const std::string& file) {
    std::string value = AsText(ReadWholeFile(file));
    while (!value.empty() && value.back() == '\n') {
        value.pop_back();
    }
    return value;
}

/// An ext4 volume whose pool holds something, with notes kept in a private state folder.
class Ext4Pool : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("XDG_STATE_HOME", state_.path().c_str(), 1);
        std::string whyNot;
        volume_ = MakeImageVolume(16u << 20, whyNot, "ext4");
        if (!volume_) {
            NoVolume(whyNot);
            return;
        }
        pool_ = Ext4PoolFile(volume_->root());
        before_ = Pool(pool_);
        ASSERT_NE(before_, "");
        ASSERT_NE(before_, "0");
    }
    [[nodiscard]] std::vector<std::string> Notes() const {
        return ListFolder(state_ / "klarvenor");
    }

    TempFolder state_;
    std::unique_ptr<ImageVolume> volume_;
    std::string pool_;
    std::string before_;
};

// While the pool is 0 and the volume full, other programs' writes lose the reserve the kernel
// keeps for them: it is lifted only once the fill has taken everything else, for about its
// own size of writes.
TEST_F(Ext4Pool, ZeroOnlyForTheFillsLastStretchAndGivenBackOnEveryWayOut) {
    struct statvfs vfs {};
    ASSERT_EQ(::statvfs(volume_->root().c_str(), &vfs), 0);
    const std::uint64_t poolBlocks =
        std::stoull(before_) * vfs.f_frsize / FaultyPlatform::kBlockUnit;
    enum class End { Normal, Failure, Abort };
    for (const End end : {End::Normal, End::Failure, End::Abort}) {
        JobRig rig(volume_->driveText());
        rig.view.check(MethodBox::Single);
        std::string atFirstBlock;
        long appendsAtLift = -1;
        long appendsWhileLifted = 0;
        rig.view.onYield = [&] {
            if (atFirstBlock.empty() && rig.state.gFileBytes > 0) {
                atFirstBlock = Pool(pool_);
            }
            if (Pool(pool_) != "0") {
                return;
            }
            if (appendsAtLift < 0) {
                appendsAtLift = rig.platform.appends;
                if (end == End::Abort) {
                    rig.engine.btnAbort_Click();
                } else if (end == End::Failure) {
                    rig.platform.failAppend(rig.platform.appends + 1,
                                            FaultyPlatform::error(5, "Input/output error"));
                }
            }
            appendsWhileLifted = rig.platform.appends - appendsAtLift;
        };
        rig.engine.Command5_Click();
        const int way = static_cast<int>(end);
        EXPECT_EQ(atFirstBlock, before_) << "way out " << way;
        EXPECT_GE(appendsAtLift, 0) << "never lifted; way out " << way;
        // The pool's blocks, and the tail's halving blocks (at most 17) besides.
        EXPECT_LE(appendsWhileLifted, static_cast<long>(poolBlocks) + 1 + 17) << "way out " << way;
        EXPECT_EQ(Pool(pool_), before_) << "way out " << way;
        EXPECT_EQ(Notes(), std::vector<std::string>{}) << "way out " << way;
        EXPECT_EQ(rig.view.messages.size(), end == End::Abort ? 0u : 1u) << "way out " << way;
        if (end == End::Normal) {
            EXPECT_EQ(rig.view.messages,
                      std::vector<std::string>{ClearedMessage(volume_->driveName())});
        }
    }
}

TEST_F(Ext4Pool, AJobThatDiedLeavesANoteAndOnlyTheNextStartGivesThePoolBack) {
    int lifted[2];
    ASSERT_EQ(::pipe(lifted), 0);
    const pid_t job = ::fork();
    if (job == 0) {
        auto platform = makeSystemPlatform();
        const bool ok = platform->liftHeldBack(volume_->root()).state == HeldBack::State::Lifted;
        const char byte = ok ? 'y' : 'n';
        if (::write(lifted[1], &byte, 1) != 1) {
            ::_exit(1);
        }
        ::pause(); // holds the pool until killed
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(lifted[0], &byte, 1), 1);
    ASSERT_EQ(byte, 'y');
    EXPECT_EQ(Pool(pool_), "0");

    // While that job lives, nobody else lifts or gives back its pool.
    {
        auto other = makeSystemPlatform();
        EXPECT_EQ(other->liftHeldBack(volume_->root()).state, HeldBack::State::Lifted);
        other->restoreHeldBack();
        other->restoreLeftovers();
        EXPECT_EQ(Pool(pool_), "0");
    }
    ::kill(job, SIGKILL);
    ::waitpid(job, nullptr, 0);
    EXPECT_EQ(Pool(pool_), "0") << "a killed job cannot give it back";
    EXPECT_EQ(Notes().size(), 1u);

    makeSystemPlatform()->restoreLeftovers();
    EXPECT_EQ(Pool(pool_), before_);
    EXPECT_EQ(Notes(), std::vector<std::string>{});
}

TEST_F(Ext4Pool, ANoteGivesBackNoMoreThanTheKernelChoosesAndEveryExitGivesThePoolBack) {
    const std::string device = pool_.substr(13, pool_.rfind('/') - 13); // /sys/fs/ext4/<device>/
    const std::string note = state_ / ("klarvenor/ext4-reserve-" + device);
    std::filesystem::create_directories(state_ / "klarvenor");
    const std::string small = std::to_string(std::stoull(before_) / 2);
    // What a note left in the state folder says, and what the next start restores.
    const std::vector<std::pair<std::string, std::string>> notes = {
        {"100000", before_}, {"not a number", before_}, {small, small}};
    for (const auto& [noted, restored] : notes) {
        WriteWholeFile(note, noted);
        WriteWholeFile(pool_, "0");
        makeSystemPlatform()->restoreLeftovers();
        EXPECT_EQ(Pool(pool_), restored) << noted;
        EXPECT_EQ(Notes(), std::vector<std::string>{});
        WriteWholeFile(pool_, before_);
    }
    // A note planted for the very device a job lifts: the value lifted is the filesystem's.
    WriteWholeFile(note, "100000");
    JobRig rig(volume_->driveText());
    rig.view.check(MethodBox::Single);
    rig.engine.Command5_Click();
    EXPECT_EQ(Pool(pool_), before_);

    // The display lost under the window: the toolkit exits from deep inside the job.
    const std::string said = InChild([&] {
        JobRig dying(volume_->driveText());
        dying.view.check(MethodBox::Single);
        dying.view.onYield = [&] {
            if (Pool(pool_) == "0") {
                DeletePassFilesNow(dying.state, dying.platform);
                ::_exit(0);
            }
        };
        dying.engine.Command5_Click();
        return std::string("never lifted");
    });
    EXPECT_EQ(said, "");
    EXPECT_EQ(Pool(pool_), before_);
    for (const std::string& name : Notes()) {
        EXPECT_EQ(name.rfind("ext4-reserve-", 0), std::string::npos) << "the pool's note stays";
    }
}

} // namespace
} // namespace klar::test
