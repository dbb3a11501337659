// The pass engine on real bounded volumes: the end of the free space, filler file numbering and
// size, the user's own files, abort, and what the Clear Drive button does during and before a job.
#include "job_rig.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <set>

namespace klar::test {
namespace {

constexpr std::uint64_t kMiB = 1u << 20;
const std::string kUserFile = "user.bin";

std::string Message(const TestVolume& volume) {
    return ClearedMessage(volume.driveName());
}

/// Per pass: the most filler bytes on the volume at once, and whether every filler byte seen
/// was that pass's byte.
struct FillWatch {
    std::map<int, std::uint64_t> mostBytes;
    std::map<int, bool> onlyPassByte;
    std::map<int, std::uint64_t> leastFree;

    void look(JobRig& rig, const std::string& root, const std::vector<std::string>& except = {}) {
        const int pass = PassShown(rig.view);
        if (pass == 0) {
            return;
        }
        const std::uint8_t byte = *rig.state.gPattern[static_cast<std::size_t>(pass)];
        std::uint64_t bytes = 0;
        bool only = onlyPassByte.count(pass) == 0 || onlyPassByte[pass];
        for (const auto& [name, content] : ReadFillers(root, except)) {
            bytes += content.size();
            only = only && AllBytesAre(content, byte);
        }
        onlyPassByte[pass] = only;
        mostBytes[pass] = std::max(mostBytes[pass], bytes);
        const std::uint64_t free = AvailableBytes(root);
        leastFree[pass] = leastFree.count(pass) != 0 ? std::min(leastFree[pass], free) : free;
    }
};

// ---- The end of the free space

TEST(TailFill, LessThanOneBlockFreeIsFilledToTheLastByteAndTheUserFileKept) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kMiB);
    const std::string user = FillVolumeLeaving(volume->root(), kUserFile, 20 << 10);
    ASSERT_EQ(AvailableBytes(volume->root()), 20u << 10);
    JobRig rig(volume->driveText());
    FillWatch watch;
    rig.view.onYield = [&] { watch.look(rig, volume->root()); };

    rig.engine.Command5_Click();

    EXPECT_EQ(rig.view.messages, std::vector<std::string>{Message(*volume)});
    for (int pass = 1; pass <= 3; ++pass) {
        EXPECT_EQ(watch.mostBytes[pass], 20u << 10) << "pass " << pass;
        EXPECT_TRUE(watch.onlyPassByte[pass]) << "pass " << pass;
        EXPECT_EQ(watch.leastFree[pass], 0u) << "pass " << pass;
    }
    EXPECT_EQ(ListFolder(volume->root()), std::vector<std::string>{kUserFile});
    EXPECT_EQ(AsText(ReadWholeFile(JoinPath(volume->root(), kUserFile))), user);
}

// Drivers that refuse a write larger than the free space outright leave the tail to the halving
// blocks: 32,768, 16,384 and so on until the drive reports no free space.
TEST(TailFill, HalvesTheBlockUntilTheDriveReportsNoFreeSpace) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kMiB);
    const std::string user = FillVolumeLeaving(volume->root(), kUserFile, 20 << 10);
    ASSERT_EQ(AvailableBytes(volume->root()), 20u << 10);
    JobRig rig(volume->driveText());
    rig.view.check(MethodBox::Single);
    rig.platform.wholeWritesOnly(volume->root());
    FillWatch watch;
    rig.view.onYield = [&] { watch.look(rig, volume->root()); };

    rig.engine.Command5_Click();

    std::vector<std::pair<std::size_t, bool>> appends;
    for (const auto& a : rig.platform.appendLog) {
        appends.emplace_back(a.size, a.ok);
    }
    // 20 KiB free: 64 KiB and 32 KiB do not fit, 16 KiB does, leaving 4 KiB; 8 KiB does not fit,
    // 4 KiB does, leaving nothing. Then a small file finds no room in a record either, from
    // 2,048 bytes down to 1.
    std::vector<std::pair<std::size_t, bool>> expected = {
        {65536, false}, {32768, false}, {16384, true}, {8192, false}, {4096, true}};
    for (std::size_t size = 2048; size > 0; size /= 2) {
        expected.emplace_back(size, false);
    }
    EXPECT_EQ(appends, expected);
    EXPECT_TRUE(rig.view.logged("Remaining: 4096 bytes"));
    EXPECT_TRUE(rig.view.logged("Remaining: 0 bytes"));
    EXPECT_EQ(watch.mostBytes[1], 20u << 10);
    EXPECT_TRUE(watch.onlyPassByte[1]);
    EXPECT_EQ(rig.view.messages, std::vector<std::string>{Message(*volume)});
    EXPECT_EQ(ListFolder(volume->root()), std::vector<std::string>{kUserFile});
    EXPECT_EQ(AsText(ReadWholeFile(JoinPath(volume->root(), kUserFile))), user);
}

// With less than one block free, a refusal other than a full disk is no end of the free space:
// the tail that stays unwritten may hold deleted data, so the job must not say "cleared".
TEST(TailFill, ARefusalThatIsNotAFullDiskEndsItNotCleared) {
    const struct {
        OsStatus refusal;
        const char* cause;
    } cases[] = {
        {FaultyPlatform::error(5, "Input/output error"), "cannot be written (Input/output error)"},
        {OsStatus{OsStatus::Kind::QuotaExceeded, 122, "Disk quota exceeded"},
         "the disk quota is used up"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.cause);
        KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kMiB);
        const std::string user = FillVolumeLeaving(volume->root(), kUserFile, 20 << 10);
        JobRig rig(volume->driveText());
        rig.view.check(MethodBox::Single);
        rig.platform.wholeWritesOnly(volume->root());
        // The first block does not fit whole; the half block after it is refused.
        rig.platform.failAppend(2, row.refusal);

        const JobOutcome outcome = rig.engine.Run();

        EXPECT_EQ(outcome.kind, JobOutcome::Kind::NotCleared);
        EXPECT_NE(outcome.cause.find(row.cause), std::string::npos) << outcome.cause;
        EXPECT_EQ(rig.view.messages, std::vector<std::string>{OutcomeMessage(outcome)});
        EXPECT_EQ(ListFolder(volume->root()), std::vector<std::string>{kUserFile});
        EXPECT_EQ(AsText(ReadWholeFile(JoinPath(volume->root(), kUserFile))), user);
    }
}

// ---- Progress

// A drive with no free space at all: there is nothing to fill, every pass still runs and ends
// as a full drive's does, and the job says so without touching the user's file.
TEST(Progress, ADriveWithNoFreeSpaceAtTheStartRunsEveryPassAndClears) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kMiB);
    const std::string user = FillVolumeLeaving(volume->root(), kUserFile, 0);
    ASSERT_EQ(AvailableBytes(volume->root()), 0u);
    JobRig rig(volume->driveText());

    const JobOutcome outcome = rig.engine.Run();

    EXPECT_TRUE(outcome.cleared()) << OutcomeMessage(outcome);
    EXPECT_TRUE(rig.view.logged("Pass: 3 of 3"));
    EXPECT_TRUE(rig.view.logged("Remaining: 0 bytes"));
    EXPECT_EQ(ListFolder(volume->root()), std::vector<std::string>{kUserFile});
    EXPECT_EQ(AsText(ReadWholeFile(JoinPath(volume->root(), kUserFile))), user);
}

// Another program frees space during the pass: the bar holds within its range instead of going
// negative, and the pass fills the space that came free.
TEST(Progress, StaysInRangeWhenFreeSpaceGrowsDuringThePass) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kMiB);
    FillVolumeLeaving(volume->root(), kUserFile, 256 << 10);
    JobRig rig(volume->driveText());
    rig.view.check(MethodBox::Single);
    rig.platform.beforeDriveSpace = [&](long call) {
        if (call == 3) {
            std::filesystem::remove(JoinPath(volume->root(), kUserFile));
        }
    };
    FillWatch watch;
    rig.view.onYield = [&] { watch.look(rig, volume->root()); };

    rig.engine.Command5_Click();

    ASSERT_FALSE(rig.view.progressLog.empty());
    for (const float percent : rig.view.progressLog) {
        EXPECT_GE(percent, 0.0f);
        EXPECT_LE(percent, 100.0f);
    }
    EXPECT_GT(watch.mostBytes[1], 512u << 10) << "the freed space was filled too";
    EXPECT_EQ(rig.view.messages, std::vector<std::string>{Message(*volume)});
    EXPECT_TRUE(ListFolder(volume->root()).empty());
}

// ---- Filler file numbering and size

/// The filler files of each pass as they stood at the last yield of the pass: name and size.
using Snapshot = std::map<std::string, std::uint64_t>;

std::map<int, Snapshot> WatchFillers(JobRig& rig, const std::string& root,
                                     const std::vector<std::string>& userFiles) {
    std::map<int, Snapshot> last;
    rig.view.onYield = [&rig, &root, &userFiles, &last] {
        const int pass = PassShown(rig.view);
        Snapshot now;
        for (const auto& [name, content] : ReadFillers(root, userFiles)) {
            now[name] = content.size();
        }
        if (!now.empty()) {
            last[pass] = now;
        }
    };
    rig.engine.Command5_Click();
    rig.view.onYield = nullptr;
    return last;
}

std::string FillerName(int number) {
    std::string digits = std::to_string(number);
    return std::string(8 - digits.size(), '0') + digits + ".txt";
}

TEST(FillerFiles, AFullFileIsFollowedByOneWithTheNextNumber) {
    constexpr std::uint64_t kVolume = 512u << 10;
    const EngineLimits limits{16384, 3 * 16384};
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kVolume);
    const std::uint64_t free = AvailableBytes(volume->root());
    JobRig rig(volume->driveText(), limits);

    const auto last = WatchFillers(rig, volume->root(), {});

    ASSERT_EQ(last.size(), 3u);
    const auto files = static_cast<int>((free + limits.fileCap - 1) / limits.fileCap);
    ASSERT_GT(files, 2);
    for (const auto& [pass, snapshot] : last) {
        ASSERT_EQ(snapshot.size(), static_cast<std::size_t>(files)) << "pass " << pass;
        std::uint64_t total = 0;
        for (int n = 1; n <= files; ++n) {
            ASSERT_EQ(snapshot.count(FillerName(n)), 1u) << "pass " << pass << " file " << n;
            const std::uint64_t size = snapshot.at(FillerName(n));
            total += size;
            if (n < files) {
                EXPECT_EQ(size, limits.fileCap) << "pass " << pass << " file " << n;
            } else {
                EXPECT_GT(size, 0u);
                EXPECT_LE(size, limits.fileCap);
            }
        }
        EXPECT_EQ(total, free) << "pass " << pass;
    }
    EXPECT_EQ(rig.view.messages, std::vector<std::string>{Message(*volume)});
    EXPECT_TRUE(ListFolder(volume->root()).empty());
}

// No count of files ends a pass: a drive that takes thousands of fillers is still filled to
// its end and cleared (small fillers, on two volumes 4x apart; under Wine the test drives are
// smaller).
TEST(FillerFiles, APassTakesAsManyFilesAsTheDriveHolds) {
#ifdef _WIN32
    const std::uint64_t sizes[] = {2 * kMiB, 8 * kMiB};
#else
    const std::uint64_t sizes[] = {4 * kMiB, 16 * kMiB};
#endif
    for (const std::uint64_t size : sizes) {
        SCOPED_TRACE(size);
        KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, size);
        const std::uint64_t free = AvailableBytes(volume->root());
        JobRig rig(volume->driveText(), EngineLimits{4096, 4096});
        rig.view.check(MethodBox::Single);
        std::size_t mostFiles = 0;
        std::uint64_t leastFree = free;
        rig.view.onYield = [&] {
            mostFiles = std::max(mostFiles, rig.state.gPassFiles.size());
            leastFree = std::min(leastFree, AvailableBytes(volume->root()));
        };

        EXPECT_TRUE(rig.engine.Run().cleared()) << rig.view.messages.at(0);

        EXPECT_GE(mostFiles, free / 4096);
        if (size == sizes[1]) {
            EXPECT_GT(mostFiles, 1'000u);
        }
        EXPECT_EQ(leastFree, 0u);
        EXPECT_TRUE(ListFolder(volume->root()).empty());
    }
}

TEST(FillerFiles, ExistingFilesOneAndTwoAreKeptAndTheFirstFillerIsThree) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kMiB);
    const std::vector<std::string> users = {FillerName(1), FillerName(2)};
    WriteWholeFile(JoinPath(volume->root(), users[0]), "the user's first file");
    WriteWholeFile(JoinPath(volume->root(), users[1]), "the user's second file");
    JobRig rig(volume->driveText());
    std::set<std::string> fillerNames;
    bool usersIntact = true;
    rig.view.onYield = [&] {
        for (const auto& [name, content] : ReadFillers(volume->root(), users)) {
            fillerNames.insert(name);
        }
        usersIntact =
            usersIntact &&
            AsText(ReadWholeFile(JoinPath(volume->root(), users[0]))) == "the user's first file" &&
            AsText(ReadWholeFile(JoinPath(volume->root(), users[1]))) == "the user's second file";
    };

    rig.engine.Command5_Click();

    EXPECT_EQ(fillerNames, std::set<std::string>{FillerName(3)});
    EXPECT_TRUE(usersIntact);
    EXPECT_EQ(ListFolder(volume->root()), users);
    EXPECT_EQ(rig.view.messages, std::vector<std::string>{Message(*volume)});
}

TEST(FillerFiles, AUserFileAtALaterNumberIsSkippedAndLeftAlone) {
    const EngineLimits limits{16384, 3 * 16384};
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, 512u << 10);
    const std::string user = FillerName(4);
    WriteWholeFile(JoinPath(volume->root(), user), "mine, not a filler");
    JobRig rig(volume->driveText(), limits);

    const auto last = WatchFillers(rig, volume->root(), {user});

    ASSERT_EQ(last.size(), 3u);
    for (const auto& [pass, snapshot] : last) {
        EXPECT_EQ(snapshot.count(FillerName(3)), 1u) << "pass " << pass;
        EXPECT_EQ(snapshot.count(FillerName(5)), 1u) << "pass " << pass;
    }
    EXPECT_EQ(AsText(ReadWholeFile(JoinPath(volume->root(), user))), "mine, not a filler");
    EXPECT_EQ(ListFolder(volume->root()), std::vector<std::string>{user});
    EXPECT_EQ(rig.view.messages, std::vector<std::string>{Message(*volume)});
}

// ---- Abort

TEST(Abort, MidPassStopsAfterTheCurrentBlockResetsTheDisplayAndDeletesTheFiles) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kMiB);
    JobRig rig(volume->driveText());
    std::size_t fillersAtClick = 0;
    std::string label10AtClick;
    rig.view.onYield = [&] {
        // The first yield after the third block was written: the block loop is mid-round.
        if (rig.platform.appends == 3 && label10AtClick.empty()) {
            fillersAtClick = ReadFillers(volume->root()).size();
            label10AtClick = rig.view.captions[Caption::Label10];
            rig.engine.btnAbort_Click();
        }
    };

    rig.engine.Command5_Click();

    EXPECT_EQ(fillersAtClick, 1u);
    EXPECT_EQ(rig.platform.appends, 3) << "no block is written after the one in hand";
    EXPECT_EQ(rig.view.captions[Caption::Label9], "Remaining:");
    EXPECT_EQ(rig.view.progress, 0.0f);
    EXPECT_EQ(rig.view.captions[Caption::Label2], "Pass [ ]:");
    EXPECT_EQ(rig.view.focusLog, std::vector<std::string>{"Command5"});
    EXPECT_FALSE(rig.view.abortVisible);
    EXPECT_TRUE(rig.view.messages.empty());
    EXPECT_TRUE(ListFolder(volume->root()).empty());
    EXPECT_EQ(rig.view.captions[Caption::Label8], "Pass: 1 of 3");
    EXPECT_EQ(rig.view.captions[Caption::Label10], label10AtClick);
    EXPECT_EQ(label10AtClick.rfind("Drive Capacity: ", 0), 0u);
    EXPECT_FALSE(rig.view.logged("Pass: 2 of 3"));
    EXPECT_FALSE(rig.state.gJobRunning);
    EXPECT_FALSE(rig.state.gAbort);
}

TEST(Abort, DuringTheTailFillLetsItFinishThenEndsWithoutMessageOrReset) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kMiB);
    const std::string user = FillVolumeLeaving(volume->root(), kUserFile, 2 * 65536 + (20 << 10));
    JobRig rig(volume->driveText());
    rig.platform.wholeWritesOnly(volume->root());
    std::size_t appendsAtClick = 0;
    rig.view.onYield = [&] {
        const auto& log = rig.platform.appendLog;
        if (appendsAtClick == 0 && !log.empty() && !log.back().ok) {
            appendsAtClick = log.size();
            rig.engine.btnAbort_Click();
        }
    };

    rig.engine.Command5_Click();

    ASSERT_EQ(appendsAtClick, 3u) << "two full blocks fit, the third does not";
    std::size_t tailBytes = 0;
    for (std::size_t i = appendsAtClick; i < rig.platform.appendLog.size(); ++i) {
        tailBytes += rig.platform.appendLog[i].ok ? rig.platform.appendLog[i].size : 0;
    }
    EXPECT_EQ(tailBytes, 20u << 10) << "the tail fill ran to its end";
    EXPECT_TRUE(rig.view.messages.empty());
    EXPECT_EQ(rig.view.captions[Caption::Label9], "Remaining: 0 bytes");
    EXPECT_EQ(rig.view.captions[Caption::Label2], "Pass [1]:");
    EXPECT_GT(rig.view.progress, 0.0f);
    EXPECT_TRUE(rig.view.abortVisible);
    EXPECT_TRUE(rig.view.focusLog.empty());
    EXPECT_FALSE(rig.view.logged("Pass: 2 of 3"));
    EXPECT_EQ(ListFolder(volume->root()), std::vector<std::string>{kUserFile});
    EXPECT_EQ(AsText(ReadWholeFile(JoinPath(volume->root(), kUserFile))), user);
    EXPECT_FALSE(rig.state.gJobRunning);
    EXPECT_FALSE(rig.state.gAbort);
}

TEST(Abort, PressedWhileIdleStopsTheNextJobAfterItsFirstGoodBlock) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kMiB);
    JobRig rig(volume->driveText());
    rig.engine.Command5_Click();
    ASSERT_EQ(rig.view.messages, std::vector<std::string>{Message(*volume)});
    ASSERT_TRUE(rig.view.abortVisible) << "a finished job leaves Abort on show";
    const long appendsBefore = rig.platform.appends;

    rig.engine.btnAbort_Click();
    EXPECT_FALSE(rig.state.gJobRunning);
    rig.engine.Command5_Click();

    EXPECT_EQ(rig.platform.appends - appendsBefore, 1);
    EXPECT_EQ(rig.view.messages.size(), 1u) << "no message for the stopped job";
    EXPECT_EQ(rig.view.captions[Caption::Label2], "Pass [ ]:");
    EXPECT_FALSE(rig.state.gAbort);
    EXPECT_FALSE(rig.state.gJobRunning);
    EXPECT_TRUE(ListFolder(volume->root()).empty());
}

// ---- The Clear Drive button and the drive text

TEST(ClearDrive, ASecondClickDuringAJobChangesNothing) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kMiB);
    JobRig rig(volume->driveText());
    bool clicked = false;
    long yieldsBefore = 0;
    long yieldsAfter = 0;
    int passCountAfter = 0;
    long createsBefore = 0;
    long createsAfter = 0;
    rig.view.onYield = [&] {
        if (!clicked && rig.platform.appends == 2) {
            clicked = true;
            // A click on another method box counts only for the next job.
            rig.view.check(MethodBox::NSA);
            yieldsBefore = rig.view.yields;
            createsBefore = rig.platform.creates;
            rig.engine.Command5_Click();
            yieldsAfter = rig.view.yields;
            createsAfter = rig.platform.creates;
            passCountAfter = rig.state.gPassCount;
        }
    };

    rig.engine.Command5_Click();

    ASSERT_TRUE(clicked);
    EXPECT_EQ(yieldsAfter, yieldsBefore);
    EXPECT_EQ(createsAfter, createsBefore);
    EXPECT_EQ(passCountAfter, 3);
    EXPECT_TRUE(rig.view.logged("Pass: 3 of 3"));
    EXPECT_FALSE(rig.view.loggedPrefix("Pass: 4"));
    EXPECT_EQ(rig.view.messages, std::vector<std::string>{Message(*volume)});
    EXPECT_TRUE(ListFolder(volume->root()).empty());
}

TEST(ClearDrive, BlankDriveTextIsRefusedBeforeAnythingIsCreated) {
    JobRig rig("   ");
    rig.engine.Command5_Click();

    EXPECT_EQ(rig.view.messages, std::vector<std::string>{"You must select a drive letter"});
    EXPECT_EQ(rig.view.focusLog, std::vector<std::string>{"cboDelay"});
    EXPECT_EQ(rig.view.captions[Caption::Label8], "Pass: 1 of 3");
    EXPECT_TRUE(rig.view.abortVisible);
    EXPECT_FALSE(rig.state.gJobRunning);
    EXPECT_EQ(rig.platform.creates, 0);
    EXPECT_EQ(rig.platform.spaceQueries, 0);
}

TEST(ClearDrive, SpacesAroundADriveLetterAreTrimmedAndAroundAFolderNameKept) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, 64u << 10);
#ifdef _WIN32
    const std::string typed = "  " + volume->driveText() + "  ";
    const std::string cleared = Message(*volume);
#else
    // A folder's name may begin and end with a space.
    const std::string typed = JoinPath(volume->root(), " spaced ");
    std::filesystem::create_directory(typed);
    const std::string cleared = ClearedMessage(typed);
#endif
    JobRig rig(typed);
    rig.view.check(MethodBox::Single);
    rig.engine.Command5_Click();
    EXPECT_EQ(rig.view.messages, std::vector<std::string>{cleared});
    EXPECT_GT(rig.platform.appends, 0);
    EXPECT_TRUE(ListFolder(typed).empty());
}

TEST(ClearDrive, DriveTextBlankedDuringPassOneRefusesPassTwoAfterDeletingPassOne) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kMiB);
    JobRig rig(volume->driveText());
    rig.view.onYield = [&] {
        if (rig.platform.appends == 2) {
            rig.view.drive = "";
        }
    };

    rig.engine.Command5_Click();

    EXPECT_EQ(rig.view.messages, std::vector<std::string>{"You must select a drive letter"});
    EXPECT_EQ(rig.view.captions[Caption::Label8], "Pass: 2 of 3");
    EXPECT_EQ(rig.view.focusLog, std::vector<std::string>{"cboDelay"});
    EXPECT_GT(rig.platform.appends, 2) << "pass 1 went on with its drive";
    EXPECT_TRUE(ListFolder(volume->root()).empty());
    EXPECT_FALSE(rig.state.gJobRunning);
}

TEST(ClearDrive, DriveChangedDuringPassOneMovesPassesTwoAndThree) {
    KLAR_REQUIRE_VOLUME(first, MakeRamVolume, kMiB);
    KLAR_REQUIRE_VOLUME(second, MakeRamVolume, 512u << 10);
    JobRig rig(first->driveText());
    std::set<int> passesOnFirst;
    std::set<int> passesOnSecond;
    std::map<int, bool> firstEmptyAtPassStart;
    int lastPass = 0;
    rig.view.onYield = [&] {
        const int pass = PassShown(rig.view);
        if (pass != lastPass) {
            lastPass = pass;
            firstEmptyAtPassStart[pass] = ListFolder(first->root()).empty();
        }
        if (!ReadFillers(first->root()).empty()) {
            passesOnFirst.insert(pass);
        }
        if (!ReadFillers(second->root()).empty()) {
            passesOnSecond.insert(pass);
        }
        if (rig.platform.appends == 2) {
            rig.view.drive = second->driveText();
        }
    };

    rig.engine.Command5_Click();

    EXPECT_EQ(passesOnFirst, std::set<int>{1});
    EXPECT_EQ(passesOnSecond, (std::set<int>{2, 3}));
    EXPECT_TRUE(firstEmptyAtPassStart[2]) << "pass 1 deleted its files on the first drive";
    EXPECT_EQ(rig.view.messages, std::vector<std::string>{Message(*second)});
    EXPECT_TRUE(ListFolder(first->root()).empty());
    EXPECT_TRUE(ListFolder(second->root()).empty());
}

} // namespace
} // namespace klar::test
