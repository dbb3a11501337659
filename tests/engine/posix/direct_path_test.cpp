// A fill past the page cache on a disk-backed volume: large transfers reach the device, yet the
// window still counts, shows and can stop the job block by block, and the volume ends full.
#include "job_rig.h"

#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <numeric>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace klar::test {
namespace {

constexpr std::size_t kBlock = 65'536;

/// Full blocks that reached the filler files, as the block loop must account for them.
std::uint64_t FullBlocksWritten(const FaultyPlatform& platform) {
    return std::accumulate(platform.appendLog.begin(), platform.appendLog.end(), std::uint64_t{0},
                           [](std::uint64_t sum, const FaultyPlatform::AppendSeen& seen) {
                               return seen.size < kBlock ? sum : sum + seen.written / kBlock;
                           });
}

/// The share of the file's pages that sit in the page cache (mincore), 0 to 1.
double CachedFraction(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat sb {};
    if (fd < 0 || ::fstat(fd, &sb) != 0 || sb.st_size == 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    }
    const auto size = static_cast<std::size_t>(sb.st_size);
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    if (map == MAP_FAILED) {
        return -1;
    }
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> resident((size + page - 1) / page);
    const int rc = ::mincore(map, size, resident.data());
    ::munmap(map, size);
    if (rc != 0) {
        return -1;
    }
    return static_cast<double>(std::count_if(resident.begin(), resident.end(),
                                             [](unsigned char r) { return (r & 1) != 0; })) /
           static_cast<double>(resident.size());
}

long Count(const std::vector<std::string>& log, const std::string& text) {
    return std::count(log.begin(), log.end(), text);
}

TEST(DirectPath, TransfersAreShownAndStoppedBlockByBlockAndTheVolumeEndsFull) {
    const auto ext4 = [](std::uint64_t bytes, std::string& whyNot) {
        return MakeImageVolume(bytes, whyNot, "ext4");
    };
    KLAR_REQUIRE_VOLUME(volume, ext4, 16u << 20);
    const std::string root = volume->root();
    {
        JobRig rig(root, {}, nullptr, TestStateFolder(), WritePath::Direct);
        rig.view.check(MethodBox::Single);
        std::uint64_t lowestFree = UINT64_MAX;
        double cached = -1;
        rig.view.onYield = [&] {
            lowestFree = std::min(lowestFree, AvailableBytes(root));
            const std::string first = JoinPath(root, "00000001.txt");
            if (cached < 0 && AvailableBytes(root) < (8u << 20)) {
                cached = CachedFraction(first); // half the volume written: none of it cached
            }
        };
        rig.engine.Command5_Click();

        ASSERT_EQ(rig.view.messages, std::vector<std::string>{ClearedMessage(root)});
        const EngineLimits limits;
        const bool transferred = std::any_of(
            rig.platform.appendLog.begin(), rig.platform.appendLog.end(), [&](const auto& seen) {
                return seen.ok && seen.size == limits.transferBlocks * kBlock;
            });
        ASSERT_TRUE(transferred) << "the fill never went past the cache in whole transfers";
        EXPECT_GE(cached, 0.0) << "the filler was never looked at";
        EXPECT_LT(cached, 0.1) << "the filler's data sits in the page cache";
        EXPECT_EQ(Count(rig.view.captionLog, "Pass [1]:"),
                  static_cast<long>(FullBlocksWritten(rig.platform)))
            << "one display update per block written";
        EXPECT_TRUE(std::is_sorted(rig.view.progressLog.begin(), rig.view.progressLog.end()));
        EXPECT_GT(rig.view.progressLog.back(), 99.0f);
        EXPECT_LT(lowestFree, kBlock) << "the tail filled what the transfers left";
        EXPECT_TRUE(ReadFillers(root).empty());
    }
    {
        // Abort pressed during the first transfer's accounting: the job stops after that block.
        JobRig rig(root, {}, nullptr, TestStateFolder(), WritePath::Direct);
        rig.view.check(MethodBox::Single);
        rig.view.onYield = [&] {
            if (rig.platform.appends > 1 && !rig.state.gAbort && rig.state.gJobRunning) {
                rig.engine.btnAbort_Click();
            }
        };
        rig.engine.Command5_Click();
        EXPECT_TRUE(rig.view.messages.empty());
        EXPECT_EQ(Count(rig.view.captionLog, "Pass [1]:"), 1);
        EXPECT_EQ(rig.view.captions[Caption::Label2], "Pass [ ]:");
        EXPECT_GT(rig.platform.appends, 1) << "a transfer of several blocks was in hand";
        EXPECT_TRUE(ReadFillers(root).empty());
    }
}

} // namespace
} // namespace klar::test
