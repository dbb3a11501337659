// The POSIX backend: filler files are only ever new files of our own, links are never followed,
// a name replaced under us is left alone, and a full disk is told apart from other failures.
#include "job_rig.h"
#include "platform/platform.h"
#include "temp_folder.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace klar::test {
namespace {

class PosixPlatformTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(folder_.path().empty()); }

    /// Creates path through the backend and closes it again, returning its identity.
    FileId createClosed(const std::string& path) {
        FillerHandle handle;
        EXPECT_TRUE(platform_->createExclusive(path, handle).ok()) << path;
        const FileId id = handle.id;
        platform_->close(handle);
        return id;
    }

    static bool isLink(const std::string& path) {
        struct stat sb {};
        return ::lstat(path.c_str(), &sb) == 0 && S_ISLNK(sb.st_mode);
    }

    std::unique_ptr<Platform> platform_ = makeSystemPlatform();
    TempFolder folder_;
};

TEST_F(PosixPlatformTest, CreateExclusiveMakesANewFileWrittenThroughItsHandle) {
    const std::string path = folder_ / "00000001.txt";
    FillerHandle handle;
    ASSERT_TRUE(platform_->createExclusive(path, handle).ok());
    ASSERT_TRUE(handle.open());
    struct stat sb {};
    ASSERT_EQ(::stat(path.c_str(), &sb), 0);
    EXPECT_EQ(sb.st_size, 0);
    EXPECT_EQ(handle.id.volume, static_cast<std::uint64_t>(sb.st_dev));
    EXPECT_EQ(handle.id.index, static_cast<std::uint64_t>(sb.st_ino));

    const std::uint8_t block[3] = {0xCA, 0xCA, 0xCA};
    std::size_t written = 0;
    EXPECT_TRUE(platform_->append(handle, block, 3, written).ok());
    EXPECT_EQ(written, 3u);
    EXPECT_TRUE(platform_->append(handle, block, 2, written).ok());
    EXPECT_TRUE(platform_->flush(handle).ok());
    platform_->close(handle);
    EXPECT_FALSE(handle.open());
    platform_->close(handle); // a second close is harmless
    EXPECT_EQ(ReadWholeFile(path), std::vector<std::uint8_t>(5, 0xCA));
}

TEST_F(PosixPlatformTest, CreateExclusiveRefusesAnExistingFileAndLeavesIt) {
    const std::string path = folder_ / "00000001.txt";
    WriteWholeFile(path, "the user's data");
    FillerHandle handle;
    const OsStatus status = platform_->createExclusive(path, handle);
    EXPECT_EQ(status.kind, OsStatus::Kind::Exists);
    EXPECT_FALSE(handle.open());
    EXPECT_EQ(ReadWholeFile(path).size(), 15u);
}

TEST_F(PosixPlatformTest, CreateExclusiveRefusesALinkToAUserFileAndLeavesTheFile) {
    const std::string user = folder_ / "user.txt";
    const std::string link = folder_ / "00000001.txt";
    WriteWholeFile(user, "the user's data");
    ASSERT_EQ(::symlink(user.c_str(), link.c_str()), 0);
    FillerHandle handle;
    EXPECT_EQ(platform_->createExclusive(link, handle).kind, OsStatus::Kind::Exists);
    EXPECT_FALSE(handle.open());
    EXPECT_EQ(ReadWholeFile(user).size(), 15u);
    EXPECT_TRUE(isLink(link));
}

TEST_F(PosixPlatformTest, CreateExclusiveRefusesADanglingLinkAndCreatesNoTarget) {
    const std::string target = folder_ / "elsewhere.txt";
    const std::string link = folder_ / "00000001.txt";
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    FillerHandle handle;
    EXPECT_EQ(platform_->createExclusive(link, handle).kind, OsStatus::Kind::Exists);
    EXPECT_FALSE(handle.open());
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(target)));
    EXPECT_TRUE(isLink(link));
}

TEST_F(PosixPlatformTest, PathExistsSeesFilesFoldersAndDanglingLinks) {
    const std::string link = folder_ / "dangling";
    ASSERT_EQ(::symlink((folder_ / "nothing").c_str(), link.c_str()), 0);
    EXPECT_TRUE(platform_->pathExists(link));
    EXPECT_TRUE(platform_->pathExists(folder_.path()));
    EXPECT_FALSE(platform_->pathExists(folder_ / "nothing"));
    EXPECT_FALSE(platform_->pathExists(""));
}

TEST_F(PosixPlatformTest, RemoveCreatedDeletesTheFileItCreated) {
    const std::string path = folder_ / "00000001.txt";
    const FileId id = createClosed(path);
    EXPECT_TRUE(platform_->removeCreated(path, id).ok());
    EXPECT_FALSE(platform_->pathExists(path));
}

TEST_F(PosixPlatformTest, RemoveCreatedLeavesAloneAFileReplacedUnderTheSameName) {
    const std::string path = folder_ / "00000001.txt";
    const FileId id = createClosed(path);
    const std::string other = folder_ / "other";
    WriteWholeFile(other, "put here by someone else");
    ASSERT_EQ(::rename(other.c_str(), path.c_str()), 0);

    EXPECT_EQ(platform_->removeCreated(path, id).kind, OsStatus::Kind::Exists);
    EXPECT_EQ(AsText(ReadWholeFile(path)), "put here by someone else");
}

TEST_F(PosixPlatformTest, RemoveCreatedLeavesAloneALinkPutInItsPlace) {
    const std::string path = folder_ / "00000001.txt";
    const std::string user = folder_ / "user.txt";
    WriteWholeFile(user, "the user's data");
    const FileId id = createClosed(path);
    ASSERT_EQ(::unlink(path.c_str()), 0);
    ASSERT_EQ(::symlink(user.c_str(), path.c_str()), 0);

    EXPECT_EQ(platform_->removeCreated(path, id).kind, OsStatus::Kind::Exists);
    EXPECT_TRUE(isLink(path));
    EXPECT_EQ(AsText(ReadWholeFile(user)), "the user's data");
}

TEST_F(PosixPlatformTest, AppendOnAFullTmpfsReportsDiskFullAndWhatReachedTheFile) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, 64u << 10);
    const std::string path = JoinPath(volume->root(), "00000001.txt");
    FillerHandle handle;
    ASSERT_TRUE(platform_->createExclusive(path, handle).ok());
    const std::vector<std::uint8_t> block(100u << 10, 0x97);
    std::size_t written = 0;
    const OsStatus status = platform_->append(handle, block.data(), block.size(), written);
    platform_->close(handle);

    EXPECT_EQ(status.kind, OsStatus::Kind::DiskFull);
    EXPECT_EQ(status.code, ENOSPC);
    EXPECT_FALSE(status.text.empty());
    EXPECT_EQ(written, 64u << 10);
    EXPECT_EQ(ReadWholeFile(path).size(), written);
}

TEST_F(PosixPlatformTest, DriveSpaceReadsTheVolumeAfresh) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, 1u << 20);
    SpaceInfo space;
    ASSERT_TRUE(platform_->driveSpace(volume->root(), space).ok());
    EXPECT_EQ(space.total, 1u << 20);
    EXPECT_EQ(space.free, 1u << 20);
    WriteWholeFile(JoinPath(volume->root(), "user.bin"), std::string(64u << 10, 'x'));
    ASSERT_TRUE(platform_->driveSpace(volume->root(), space).ok());
    EXPECT_EQ(space.free, (1u << 20) - (64u << 10));
}

TEST_F(PosixPlatformTest, DriveSpaceThroughAFillerFileMatchesTheQueryByPath) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, 1u << 20);
    FillerHandle handle;
    ASSERT_TRUE(platform_->createExclusive(JoinPath(volume->root(), "00000001.txt"), handle).ok());
    const std::vector<std::uint8_t> block(128u << 10, 0x35);
    std::size_t written = 0;
    ASSERT_TRUE(platform_->append(handle, block.data(), block.size(), written).ok());

    SpaceInfo byPath;
    SpaceInfo byHandle;
    ASSERT_TRUE(platform_->driveSpace(volume->root(), byPath).ok());
    ASSERT_TRUE(platform_->driveSpaceThrough(handle, volume->root(), byHandle).ok());
    platform_->close(handle);
    EXPECT_EQ(byHandle.free, (1u << 20) - (128u << 10));
    EXPECT_EQ(byHandle.free, byPath.free);
    EXPECT_EQ(byHandle.total, byPath.total);

    // A closed handle falls back to the path.
    ASSERT_TRUE(platform_->driveSpaceThrough(handle, volume->root(), byHandle).ok());
    EXPECT_EQ(byHandle.free, byPath.free);
}

TEST_F(PosixPlatformTest, DriveSpaceOfAMissingFolderFails) {
    SpaceInfo space;
    const OsStatus status = platform_->driveSpace(folder_ / "missing", space);
    EXPECT_EQ(status.kind, OsStatus::Kind::Failed);
    EXPECT_EQ(status.code, ENOENT);
    EXPECT_FALSE(status.text.empty());
}

TEST_F(PosixPlatformTest, DriveTextIsTheRootAndTheNameAsTyped) {
    EXPECT_EQ(platform_->rootPath("/media/usb"), "/media/usb");
    EXPECT_EQ(platform_->driveName("/media/usb"), "/media/usb");
    EXPECT_EQ(platform_->joinPath("/media/usb", "00000001.txt"), "/media/usb/00000001.txt");
    EXPECT_EQ(platform_->joinPath("/", "00000001.txt"), "/00000001.txt");
}

} // namespace
} // namespace klar::test
