// Jobs on real Linux volumes that end short of full, or change under the job: each says so with
// its cause, leaves no filler behind unnamed, and never says "cleared."; and an undisturbed job
// on every filesystem the machine can mount still fills it and says "cleared.".
#include "child_process.h"
#include "engine/journal.h"
#include "job_rig.h"
#include "platform/termination.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace klar::test {
namespace {
namespace fs = std::filesystem;

constexpr std::size_t kBlock = 65'536;

std::string Cleared(const std::string& drive) {
    return ClearedMessage(drive);
}

std::string NotCleared(const std::string& drive, const std::string& cause) {
    return NotClearedPrefix(drive) + cause;
}

/// One job on a folder, with the lowest free space seen at any yield.
struct Outcome {
    std::vector<std::string> messages;
    std::uint64_t lowestFree = UINT64_MAX;
    long creates = 0; ///< filler files created
};

Outcome RunJob(const std::string& folder, MethodBox method, EngineLimits limits = {},
               const std::function<void(JobRig&)>& atYield = nullptr,
               WritePath path = WritePath::UnderTest) {
    JobRig rig(folder, limits, nullptr, TestStateFolder(), path);
    rig.view.check(method);
    Outcome outcome;
    rig.view.onYield = [&] {
        std::error_code ec;
        const auto space = fs::space(folder, ec);
        if (!ec) {
            outcome.lowestFree = std::min<std::uint64_t>(outcome.lowestFree, space.available);
        }
        if (atYield) {
            atYield(rig);
        }
    };
    rig.engine.Command5_Click();
    outcome.messages = rig.view.messages;
    outcome.creates = rig.platform.creates;
    return outcome;
}

// ---- No false alarm.

class UndisturbedJobOnVolume : public ::testing::TestWithParam<const char*> {};

TEST_P(UndisturbedJobOnVolume, FillsTheVolumeAndSaysCleared) {
    const std::string filesystem = GetParam();
    std::string whyNot;
    std::unique_ptr<TestVolume> volume;
    if (filesystem == "tmpfs") {
        volume = MakeRamVolume(4u << 20, whyNot);
    } else {
        volume = MakeImageVolume(4u << 20, whyNot, filesystem);
    }
    if (!volume) {
        NoVolume(whyNot);
        return;
    }
    const Outcome outcome = RunJob(volume->root(), MethodBox::Single, {}, nullptr,
                                   filesystem == "xfs" ? kXfsPath : WritePath::UnderTest);
    EXPECT_EQ(outcome.messages, std::vector<std::string>{Cleared(volume->driveName())});
    EXPECT_LT(outcome.lowestFree, kBlock) << "the job filled the volume";
    EXPECT_TRUE(ReadFillers(volume->root()).empty());
}

INSTANTIATE_TEST_SUITE_P(EveryFilesystem, UndisturbedJobOnVolume,
                         ::testing::Values("tmpfs", "ext2", "ext4", "xfs", "btrfs", "vfat", "ntfs"),
                         [](const auto& test) { return std::string(test.param); });

// ---- Short of full, or a changed volume: a failure with its cause.

/// A volume and what is done to it, before the job or at a yield of its first pass.
struct Fault {
    const char* name;
    std::function<void(const std::string& root)> before;
    std::function<void(const std::string& root, JobRig& rig)> during; ///< after 3 blocks
    std::string cause;                                                ///< in the message
    std::string folder = "";                                          ///< under the root
};

void PrintTo(const Fault& fault, std::ostream* out) {
    *out << fault.name;
}

class FaultOnVolume : public ::testing::TestWithParam<Fault> {};

TEST_P(FaultOnVolume, EndsAsAFailureWithItsCause) {
    const Fault& fault = GetParam();
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, 2u << 20);
    WriteWholeFile(JoinPath(volume->root(), "keep.me"), "user data");
    const std::string folder =
        fault.folder.empty() ? volume->root() : JoinPath(volume->root(), fault.folder);
    fs::create_directories(folder);
    if (fault.before) {
        fault.before(volume->root());
    }
    long createsAtFault = -1;
    const Outcome outcome = RunJob(folder, MethodBox::DOD, {kBlock, 4 * kBlock}, [&](JobRig& rig) {
        if (fault.during && createsAtFault < 0 && rig.platform.appends >= 3) {
            createsAtFault = rig.platform.creates;
            fault.during(volume->root(), rig);
        }
    });
    if (fault.during) {
        EXPECT_EQ(outcome.creates, createsAtFault) << "no filler after the change, in any pass";
    }
    ASSERT_EQ(outcome.messages.size(), 1u);
    EXPECT_EQ(outcome.messages[0].rfind(NotCleared(folder, fault.cause), 0), 0u)
        << outcome.messages[0];
    EXPECT_TRUE(ReadFillers(folder).empty());
}

void Remount(const std::string& root, const std::string& options) {
    ASSERT_EQ(::mount("tmpfs", root.c_str(), "tmpfs", MS_REMOUNT, options.c_str()), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultOnVolume,
    ::testing::Values(
        // The root folder, keep.me and one filler take the three inodes.
        Fault{"InodesRunOut", [](const std::string& root) { Remount(root, "nr_inodes=3"); },
              nullptr, "no more files can be created on the drive (No space left on device)"},
        Fault{"Unmounted", nullptr,
              [](const std::string& root, JobRig&) { ::umount2(root.c_str(), MNT_DETACH); },
              "the drive was unmounted or replaced during the job"},
        Fault{"FolderRenamed", nullptr,
              [](const std::string& root, JobRig&) {
                  fs::rename(JoinPath(root, "sub"), JoinPath(root, "moved"));
              },
              "the folder was renamed or removed during the job", "sub"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(FaultOnVolume, AFolderRenamedMidPassIsNamedAndItsFillerEmptied) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, 2u << 20);
    const std::string folder = JoinPath(volume->root(), "sub");
    fs::create_directory(folder);
    bool renamed = false;
    const Outcome outcome =
        RunJob(folder, MethodBox::Single, {kBlock, 64 * kBlock}, [&](JobRig& rig) {
            if (!renamed && rig.platform.appends >= 3) {
                renamed = true;
                fs::rename(folder, JoinPath(volume->root(), "moved"));
            }
        });
    ASSERT_EQ(outcome.messages.size(), 1u);
    const std::string moved = JoinPath(JoinPath(volume->root(), "moved"), "00000001.txt");
    EXPECT_NE(outcome.messages[0].find("left behind: " + JoinPath(folder, "00000001.txt") + " ("),
              std::string::npos)
        << outcome.messages[0];
    EXPECT_TRUE(ReadWholeFile(moved).empty()) << "its space was released through the handle";
    EXPECT_GT(AvailableBytes(volume->root()), (2u << 20) - 4 * kBlock);
}

TEST(FaultOnVolume, NoInodeFreeOnExt2WritesNothingAndSaysWhy) {
    KLAR_REQUIRE_VOLUME(volume, MakeImageVolume, 4u << 20);
    for (int n = 0;; ++n) {
        std::FILE* f = std::fopen(JoinPath(volume->root(), "u" + std::to_string(n)).c_str(), "w");
        if (f == nullptr) {
            break;
        }
        std::fclose(f);
    }
    const Outcome outcome = RunJob(volume->root(), MethodBox::DOD);
    EXPECT_EQ(outcome.messages, std::vector<std::string>{NotCleared(
                                    volume->driveName(),
                                    "no more files can be created on the drive (No space left on "
                                    "device).")});
}

TEST(FaultOnVolume, AVolumeThatReportsNoCapacityIsAFailure) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, 1u << 20);
    const std::string proc = JoinPath(volume->root(), "proc");
    fs::create_directory(proc);
    ASSERT_EQ(::mount("proc", proc.c_str(), "proc", 0, nullptr), 0);
    const Outcome outcome = RunJob(proc, MethodBox::Single);
    ::umount2(proc.c_str(), MNT_DETACH);
    EXPECT_EQ(outcome.messages,
              std::vector<std::string>{NotCleared(proc, "the drive reports no capacity.")});
}

// A job whose folder is replaced between passes fails them instead of filling another folder.
TEST(FaultOnVolume, AFolderReplacedBetweenPassesFailsTheLaterPasses) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, 1u << 20);
    const TempFolder temp;
    const fs::path state = temp / "state";
    const std::string folder = JoinPath(volume->root(), "sub");
    fs::create_directory(folder);
    JobRig rig(folder, {}, nullptr, state.string());
    bool replaced = false;
    long createsInPassOne = 0;
    rig.view.onYield = [&] {
        if (!replaced && PassShown(rig.view) == 2) {
            replaced = true;
            createsInPassOne = rig.platform.creates;
            fs::remove_all(folder);
            fs::create_directory(folder);
        }
    };
    rig.engine.Command5_Click();
    ASSERT_TRUE(replaced);
    ASSERT_EQ(rig.view.messages.size(), 1u);
    EXPECT_EQ(rig.view.messages[0], NotClearedPrefix(rig.platform.driveName(folder)) +
                                        "the folder was replaced during the job.");
    EXPECT_EQ(rig.platform.creates, createsInPassOne) << "no filler in the new folder";
    EXPECT_TRUE(ListFolder(folder).empty());
    EXPECT_TRUE(!fs::exists(state) || fs::is_empty(state)) << "the job took its journal along";
}

// ---- xfs's kept free space: the fill's bytes written again in place. One refused for room leaves
// a hole, free space that holds the fill's byte, which the read-back passes over and the message
// counts when old free space stays; any other failure ends the job with its cause; where xfs does
// not say where its kept space lies, the message says so and how to clear it. The fillers go all
// the same.
TEST(KeptSpaceOnXfs, ARefusedRewriteOrAnUnlistedMapIsNamedAndNoHoleIsReadBack) {
    const struct {
        std::optional<OsStatus> rewrite; ///< what the third rewrite on answers
        const char* cause;
    } cases[] = {
        {FaultyPlatform::diskFull(),
         " bytes of free space that the filesystem keeps for its own use were not overwritten."},
        {FaultyPlatform::error(5, "Input/output error"),
         " cannot be written (Input/output error)."},
        {std::nullopt, ": the free space that the filesystem keeps for its own use was not "
                       "overwritten; run Klarvenor as administrator to clear it."},
    };
    std::string whyNot;
    const auto volume = MakeImageVolume(300u << 20, whyNot, "xfs");
    if (!volume) {
        NoVolume(whyNot);
        return;
    }
    for (const auto& row : cases) {
        SCOPED_TRACE(row.cause);
        JobRig rig(volume->driveText(), {}, nullptr, TestStateFolder(), kXfsPath);
        rig.view.check(MethodBox::DOD); // its second pass writes 0xFF, which no hole reads as
        rig.view.route = "run Klarvenor as administrator";
        rig.engine.SetVerify(VerifyPasses::All);
        if (row.rewrite) {
            rig.platform.failWriteAt(3, *row.rewrite, true);
        } else {
            rig.platform.unlistKeptSpace();
        }

        const JobOutcome outcome = rig.engine.Run();

        EXPECT_EQ(rig.platform.rewrites > 3, row.rewrite.has_value()) << rig.platform.rewrites;
        EXPECT_EQ(outcome.kind, JobOutcome::Kind::NotCleared);
        EXPECT_TRUE(OutcomeMessage(outcome).ends_with(row.cause)) << OutcomeMessage(outcome);
        for (const PassReport& pass : outcome.passes) {
            ASSERT_TRUE(pass.verify.has_value());
            EXPECT_EQ(pass.verify->wrongBytes, 0u) << "pass " << pass.pass;
        }
        EXPECT_TRUE(ReadFillers(volume->root()).empty());
    }
}

// ---- A per-file size limit (ulimit -f): SIGXFSZ never ends the process; a limit on one file
// is not a full disk: the fill goes on in new files; a limit that lets no file take data is a
// failure.

TEST(FileSizeLimitOnVolume, APerFileLimitFillsOnInNewFilesAndNoLimitAtAllIsAFailure) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, 2u << 20);
    const auto jobUnderLimit = [&](rlim_t limit) {
        return InChild([&] {
            const rlimit fileSize{limit, limit};
            ::setrlimit(RLIMIT_FSIZE, &fileSize);
            const Outcome outcome = RunJob(volume->root(), MethodBox::Single);
            return outcome.messages.at(0) +
                   (outcome.lowestFree < kBlock ? "|filled" : "|not filled");
        });
    };
    EXPECT_EQ(jobUnderLimit(256 * 1024), Cleared(volume->driveName()) + "|filled");
    // No file can take a byte, the job's journal neither: nothing is filled without one.
    EXPECT_EQ(jobUnderLimit(0),
              NotCleared(volume->driveName(), "the journal of filler files cannot be written in " +
                                                  TestStateFolder() + " (File too large).") +
                  "|not filled");
    EXPECT_TRUE(ListFolder(volume->root()).empty());
}

// ---- Asked to end from outside: the job aborts as Abort does, and the process lives on to
// end by itself.

TEST(Termination, SigintSigtermAndSighupAbortTheJobAndDeleteItsFillers) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, 2u << 20);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const std::string said = InChild([&] {
            InstallTerminationHandlers();
            JobRig rig(volume->root(), {kBlock, 4 * kBlock});
            std::size_t mostFillers = 0;
            rig.view.onYield = [&] {
                mostFillers = std::max(mostFillers, ReadFillers(volume->root()).size());
                if (rig.platform.appends == 6 && !TerminationRequested()) {
                    ::raise(signal);
                }
            };
            rig.engine.Command5_Click();
            return std::to_string(rig.view.messages.size()) + " messages, " +
                   std::to_string(rig.platform.appends) + " blocks, " +
                   std::to_string(mostFillers) + " fillers at most, " +
                   std::to_string(ReadFillers(volume->root()).size()) + " left, " +
                   rig.view.captions[Caption::Label9];
        });
        EXPECT_EQ(said, "0 messages, 6 blocks, 2 fillers at most, 0 left, Remaining:")
            << "signal " << signal;
    }
}

// ---- A job killed outright: its fillers stay, and the next start removes them and says so.

TEST(KilledJob, TheNextStartRemovesItsFillersAndReportsThem) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, 2u << 20);
    const std::string state = JoinPath(volume->root(), "state");
    const std::string drive = JoinPath(volume->root(), "drive");
    fs::create_directory(drive);
    const std::string said = InChild([&] {
        JobRig rig(drive, {kBlock, 4 * kBlock}, nullptr, state);
        rig.view.onYield = [&] {
            if (rig.platform.appends == 10) {
                ::raise(SIGKILL);
            }
        };
        rig.engine.Command5_Click();
        return std::string("not killed");
    });
    ASSERT_EQ(said, "|signal " + std::to_string(SIGKILL));
    const auto left = ReadFillers(drive);
    ASSERT_EQ(left.size(), 3u) << "files of 4, 4 and 2 blocks";
    // The user replaces the last one by a file of their own, of the very same bytes.
    const std::string userFile = JoinPath(drive, "00000003.txt");
    fs::remove(userFile);
    WriteWholeFile(userFile, std::string(2 * kBlock, '\x35'));

    auto platform = makeSystemPlatform();
    const Leftovers removed = RemoveLeftovers(*platform, state);
    EXPECT_EQ(LeftoversMessage(removed),
              "An interrupted job had left 2 filler files (524288 bytes). They were removed.");
    EXPECT_EQ(ListFolder(drive), std::vector<std::string>{"00000003.txt"});
    EXPECT_EQ(ReadWholeFile(userFile).size(), 2 * kBlock);
}

} // namespace
} // namespace klar::test
