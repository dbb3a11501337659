// Jobs on a real volume whose disk fails at chosen calls: a job that did not clear everything
// says so and names why, deletes every filler file it still can, and never touches a user file.
#include "job_rig.h"

#include <gtest/gtest.h>

namespace klar::test {
namespace {

constexpr std::uint64_t kVolumeBytes = 1u << 20;
const std::string kUserFile = "keep.me";

/// A volume with a user file on it, and a DOD job ready to run there.
class FaultyJobOnVolume : public ::testing::Test {
protected:
    void SetUp() override {
        std::string whyNot;
        volume_ = MakeRamVolume(kVolumeBytes, whyNot);
        if (!volume_) {
            NoVolume(whyNot);
            return;
        }
        for (int i = 0; i < 10'000; ++i) {
            user_.push_back(static_cast<char>(i * 7 % 256));
        }
        WriteWholeFile(JoinPath(volume_->root(), kUserFile), user_);
        rig_ = std::make_unique<JobRig>(volume_->driveText(), limits_);
    }

    /// Runs the job, noting at every yield the most filler files seen at once.
    void run() {
        rig_->view.onYield = [this] {
            mostFillers_ = std::max(mostFillers_, ReadFillers(volume_->root()).size());
        };
        rig_->engine.Command5_Click();
    }

    /// The one message of the job names the drive, says it was not fully cleared, and gives a
    /// cause that contains `cause`.
    void expectNotFullyCleared(const std::string& cause) {
        ASSERT_EQ(rig_->view.messages.size(), 1u);
        const std::string& message = rig_->view.messages[0];
        const std::string prefix = NotClearedPrefix(volume_->driveName());
        EXPECT_EQ(message.rfind(prefix, 0), 0u) << message;
        EXPECT_GT(message.size(), prefix.size() + 1) << "no cause named: " << message;
        EXPECT_EQ(message.back(), '.') << message;
        EXPECT_NE(message.find(cause), std::string::npos) << message;
        EXPECT_NE(message, ClearedMessage(volume_->driveName()));
        EXPECT_FALSE(rig_->state.gJobRunning);
    }

    void expectUserFileUntouched() {
        EXPECT_EQ(AsText(ReadWholeFile(JoinPath(volume_->root(), kUserFile))), user_);
    }

    void expectNoFillerLeft() {
        EXPECT_EQ(ListFolder(volume_->root()), std::vector<std::string>{kUserFile});
    }

    EngineLimits limits_;
    std::unique_ptr<TestVolume> volume_;
    std::unique_ptr<JobRig> rig_;
    std::string user_;
    std::size_t mostFillers_ = 0;
};

TEST_F(FaultyJobOnVolume, DriveGoneAtPassStartCreatesNothingAndSaysWhy) {
    rig_->platform.loseDriveAt(1, FaultyPlatform::error(19, "No such device"));
    run();
    expectNotFullyCleared("No such device");
    EXPECT_EQ(rig_->platform.creates, 0);
    EXPECT_TRUE(rig_->view.logged("Pass: 3 of 3")) << "every pass is tried";
    expectNoFillerLeft();
    expectUserFileUntouched();
}

TEST_F(FaultyJobOnVolume, DriveGoneMidPassDeletesThePassFilesAndSaysWhy) {
    // Query 1 is pass 1's start; the later ones follow its writes.
    rig_->platform.loseDriveAt(4, FaultyPlatform::error(19, "No such device"));
    long appendsWhenLost = -1;
    rig_->platform.beforeDriveSpace = [this, &appendsWhenLost](long call) {
        if (call == 4) {
            appendsWhenLost = rig_->platform.appends;
        }
    };
    run();
    expectNotFullyCleared("No such device");
    EXPECT_GE(mostFillers_, 1u);
    EXPECT_GT(appendsWhenLost, 0);
    EXPECT_EQ(rig_->platform.appends, appendsWhenLost) << "nothing written once the drive is gone";
    expectNoFillerLeft();
    expectUserFileUntouched();
}

TEST_F(FaultyJobOnVolume, WriteRefusedWhileSpaceRemainsEndsThePassAndIsReported) {
    rig_->platform.failAppend(3, FaultyPlatform::error(5, "Input/output error"));
    std::map<int, long> appendsPerPass;
    rig_->view.onYield = [this, &appendsPerPass] {
        appendsPerPass[PassShown(rig_->view)] = rig_->platform.appends;
    };
    rig_->engine.Command5_Click();

    expectNotFullyCleared("Input/output error");
    EXPECT_EQ(appendsPerPass[1], 3) << "no block after the refused one in pass 1";
    EXPECT_GT(appendsPerPass[2] - appendsPerPass[1], 10) << "pass 2 filled the drive";
    EXPECT_GT(appendsPerPass[3] - appendsPerPass[2], 10) << "pass 3 filled the drive";
    expectNoFillerLeft();
    expectUserFileUntouched();
}

TEST_F(FaultyJobOnVolume, EveryWriteRefusedLeavesOnlyTheUserFile) {
    rig_->platform.failAppend(1, FaultyPlatform::error(30, "Read-only file system"), true);
    run();
    expectNotFullyCleared("Read-only file system");
    expectNoFillerLeft();
    expectUserFileUntouched();
}

// Some drivers answer a full disk with another code (a FUSE FAT driver says EPERM); with no free
// space reported after it, the write still counts as the end of the free space.
TEST_F(FaultyJobOnVolume, OtherErrorWithNoSpaceLeftCountsAsAFullDisk) {
    // Whole blocks fill the volume exactly; the write after the last one is refused with EPERM.
    const std::uint64_t blocks = AvailableBytes(volume_->root()) / 65536;
    const std::string pad = FillVolumeLeaving(volume_->root(), "pad.bin", blocks * 65536);
    ASSERT_EQ(AvailableBytes(volume_->root()), blocks * 65536);
    rig_->view.check(MethodBox::Single);
    rig_->platform.failAppend(static_cast<long>(blocks) + 1,
                              FaultyPlatform::error(1, "Operation not permitted"), true);
    rig_->engine.Command5_Click();
    EXPECT_EQ(rig_->view.messages, std::vector<std::string>{ClearedMessage(volume_->driveName())});
    EXPECT_EQ(ListFolder(volume_->root()), (std::vector<std::string>{kUserFile, "pad.bin"}));
    EXPECT_EQ(AsText(ReadWholeFile(JoinPath(volume_->root(), "pad.bin"))), pad);
    expectUserFileUntouched();
}

TEST_F(FaultyJobOnVolume, FailedFlushIsReportedAndTheFilesStillDeleted) {
    rig_->platform.failFlush(FaultyPlatform::error(5, "Input/output error"));
    run();
    expectNotFullyCleared("Input/output error");
    EXPECT_GE(rig_->platform.flushes, 3) << "every pass flushes its files";
    EXPECT_GE(mostFillers_, 1u);
    expectNoFillerLeft();
    expectUserFileUntouched();
}

// Over quota, the volume still has room: that is no full disk.
TEST_F(FaultyJobOnVolume, QuotaUsedUpWhileSpaceRemainsIsReported) {
    rig_->platform.failAppend(
        3, OsStatus{OsStatus::Kind::QuotaExceeded, 122, "Disk quota exceeded"}, true);
    run();
    expectNotFullyCleared("the disk quota is used up (Disk quota exceeded)");
    expectNoFillerLeft();
    expectUserFileUntouched();
}

TEST_F(FaultyJobOnVolume, RefusedCreateIsReported) {
    rig_->platform.failCreate(FaultyPlatform::error(13, "Permission denied"));
    run();
    expectNotFullyCleared("Permission denied");
    expectNoFillerLeft();
    expectUserFileUntouched();
}

// The journal is what lets a later start remove the fillers of a job that died, so no filler is
// made unlisted: refused at its header, the job makes nothing; refused later, that pass ends,
// the next ones run, and the job says why it was not cleared.
TEST_F(FaultyJobOnVolume, RefusedJournalWriteMakesNoUnlistedFillerAndIsReported) {
    const struct {
        long write;
        JobOutcome::Kind kind;
        bool laterPassesFill;
    } cases[] = {{1, JobOutcome::Kind::Refused, false}, {2, JobOutcome::Kind::NotCleared, true}};
    for (const auto& row : cases) {
        SCOPED_TRACE(row.write);
        rig_ = std::make_unique<JobRig>(volume_->driveText(), limits_);
        rig_->platform.failJournalWrite(row.write, FaultyPlatform::error(28, "No space left"));
        long createsInPassOne = -1;
        rig_->view.onYield = [&] {
            if (createsInPassOne < 0 && PassShown(rig_->view) == 2) {
                createsInPassOne = rig_->platform.creates;
            }
        };

        const JobOutcome outcome = rig_->engine.Run();

        EXPECT_EQ(outcome.kind, row.kind);
        EXPECT_NE(outcome.cause.find("the journal of filler files cannot be written"),
                  std::string::npos)
            << outcome.cause;
        EXPECT_NE(outcome.cause.find("(No space left)"), std::string::npos) << outcome.cause;
        EXPECT_EQ(rig_->view.messages, std::vector<std::string>{OutcomeMessage(outcome)});
        EXPECT_EQ(createsInPassOne, row.laterPassesFill ? 0 : -1) << "pass 1 made no filler";
        EXPECT_EQ(rig_->platform.creates > 0, row.laterPassesFill);
        EXPECT_EQ(rig_->view.logged("Pass: 3 of 3"), row.laterPassesFill);
        expectNoFillerLeft();
        expectUserFileUntouched();
    }
}

class FaultyJobWithSmallFilesOnVolume : public FaultyJobOnVolume {
protected:
    FaultyJobWithSmallFilesOnVolume() { limits_ = EngineLimits{65536, 3 * 65536}; }
};

// The one file whose delete was refused stays, emptied through its handle so that its space
// still comes back, and the message names it with the bytes it held; later passes skip its
// number and never write into it; every other filler file is deleted.
TEST_F(FaultyJobWithSmallFilesOnVolume, RefusedDeleteLeavesOnlyThatFileEmptiedAndNamesIt) {
    rig_->platform.failRemoveAt(1, FaultyPlatform::error(13, "Permission denied"));
    run();
    expectNotFullyCleared("Permission denied");
    const std::string left = JoinPath(volume_->root(), "00000001.txt");
    EXPECT_NE(rig_->view.messages[0].find("left behind: " + left + " (196608 bytes, emptied)"),
              std::string::npos)
        << rig_->view.messages[0];
    EXPECT_GE(mostFillers_, 3u);
    EXPECT_EQ(ListFolder(volume_->root()), (std::vector<std::string>{"00000001.txt", kUserFile}));
    EXPECT_TRUE(ReadWholeFile(left).empty());
    expectUserFileUntouched();
}

TEST_F(FaultyJobOnVolume, MessageNamesTheFirstCause) {
    rig_->platform.failAppend(2, FaultyPlatform::error(5, "Input/output error"));
    rig_->platform.failFlush(FaultyPlatform::error(122, "Disk quota exceeded"));
    run();
    expectNotFullyCleared("Input/output error");
    EXPECT_EQ(rig_->view.messages[0].find("quota"), std::string::npos);
    expectNoFillerLeft();
}

// Read-back: a byte that comes back wrong, or a read that fails, ends the job "not fully
// cleared" naming where; only the passes asked for are read; every filler is deleted all the same.
TEST_F(FaultyJobWithSmallFilesOnVolume, AReadBackThatFindsAWrongByteOrFailsIsNotCleared) {
    const struct {
        VerifyPasses passes;
        bool failRead;
        const char* cause;
    } cases[] = {
        {VerifyPasses::Last, false, "1 byte read back wrong, the first in "},
        {VerifyPasses::All, true, " cannot be read back (Input/output error)"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.cause);
        rig_ = std::make_unique<JobRig>(volume_->driveText(), limits_);
        rig_->engine.SetVerify(row.passes);
        if (row.failRead) {
            rig_->platform.failReadBack(1, FaultyPlatform::error(5, "Input/output error"));
        } else {
            rig_->platform.corruptReadBack(2, 70'001); // in its second block
        }

        const JobOutcome outcome = rig_->engine.Run();

        expectNotFullyCleared(row.cause);
        ASSERT_EQ(outcome.passes.size(), 3u);
        EXPECT_EQ(outcome.passes[0].verify.has_value(), row.passes == VerifyPasses::All);
        const auto& last = outcome.passes[2].verify;
        ASSERT_TRUE(last.has_value());
        EXPECT_FALSE(last->passed());
        if (row.failRead) {
            EXPECT_EQ(last->error, "Input/output error");
        } else {
            // The second filler of the pass, numbered after the user's file and the first.
            const std::string second = last->firstWrongFile;
            EXPECT_EQ(second.rfind(volume_->root(), 0), 0u) << second;
            EXPECT_NE(outcome.cause.find(second + " at offset 70001"), std::string::npos)
                << outcome.cause;
            EXPECT_EQ(last->wrongBytes, 1u);
            EXPECT_TRUE(last->complete);
            EXPECT_GE(last->bytes, kVolumeBytes / 2) << "every filler was read to its end";
        }
        expectNoFillerLeft();
        expectUserFileUntouched();
    }
}

// Abort during the read-back stops it within one read, then deletes the fillers as ever.
TEST_F(FaultyJobWithSmallFilesOnVolume, AbortDuringTheReadBackStopsItWithinOneRead) {
    rig_->engine.SetVerify(VerifyPasses::All);
    rig_->view.onYield = [this] {
        if (rig_->platform.reads == 1) {
            rig_->engine.btnAbort_Click();
        }
    };
    const JobOutcome outcome = rig_->engine.Run();
    EXPECT_EQ(outcome.kind, JobOutcome::Kind::Aborted);
    EXPECT_EQ(rig_->platform.reads, 1);
    ASSERT_EQ(outcome.passes.size(), 1u);
    ASSERT_TRUE(outcome.passes[0].verify.has_value());
    EXPECT_FALSE(outcome.passes[0].verify->complete);
    EXPECT_FALSE(outcome.trim.has_value()) << "an aborted job trims nothing";
    expectNoFillerLeft();
    expectUserFileUntouched();
}

} // namespace
} // namespace klar::test
