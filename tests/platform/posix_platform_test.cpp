// The POSIX backend: its side of the contract test, and links, which it never follows.
#include "job_rig.h"
#include "platform/platform.h"
#include "platform_contract.h"
#include "temp_folder.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace klar::test {
namespace contract {

std::string AbsentDrive(const std::string& folder) {
    return JoinPath(folder, "missing");
}

FileId IdentityOf(const std::string& path) {
    struct stat sb {};
    if (::stat(path.c_str(), &sb) != 0) {
        return {};
    }
    return {static_cast<std::uint64_t>(sb.st_dev), static_cast<std::uint64_t>(sb.st_ino)};
}

const Facts& SystemFacts() {
    static const Facts facts{
        .pathNotFound = ENOENT,
        .fileNotFound = ENOENT,
        .diskFull = {ENOSPC},
        .writesWhatFits = true,
        .drives = {{"/media/usb", "/media/usb", "/media/usb", "/media/usb/00000001.txt"},
                   {"/", "/", "/", "/00000001.txt"}},
        .joins = {{"/media/usb/data/", "/media/usb/data/00000001.txt"}}};
    return facts;
}

} // namespace contract

namespace {
namespace fs = std::filesystem;

// A link at a filler's name, to a user's file or dangling, is refused and left as it is; one put
// in place of a filler of ours is not deleted for it. No link is ever followed.
TEST(PosixLinks, AtAFillersNameAreNeitherFollowedNorDeleted) {
    auto platform = makeSystemPlatform();
    TempFolder folder;
    const std::string user = folder / "user.txt";
    const std::string nowhere = folder / "elsewhere.txt";
    WriteWholeFile(user, "the user's data");
    for (const std::string& target : {user, nowhere}) {
        SCOPED_TRACE(target);
        const std::string link = folder / (target == user ? "00000001.txt" : "00000002.txt");
        ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
        EXPECT_TRUE(platform->pathExists(link));
        FillerHandle handle;
        EXPECT_EQ(platform->createExclusive(link, handle).kind, OsStatus::Kind::Exists);
        EXPECT_FALSE(handle.open());
        EXPECT_TRUE(fs::is_symlink(link));
    }
    EXPECT_EQ(AsText(ReadWholeFile(user)), "the user's data");
    EXPECT_FALSE(fs::exists(fs::symlink_status(nowhere)));

    const std::string filler = folder / "00000003.txt";
    FillerHandle handle;
    ASSERT_TRUE(platform->createExclusive(filler, handle).ok());
    platform->close(handle);
    ASSERT_EQ(::unlink(filler.c_str()), 0);
    ASSERT_EQ(::symlink(user.c_str(), filler.c_str()), 0);
    EXPECT_EQ(platform->removeCreated(filler, handle.id).kind, OsStatus::Kind::Exists);
    EXPECT_TRUE(fs::is_symlink(filler));
    EXPECT_EQ(AsText(ReadWholeFile(user)), "the user's data");
}

// A filler closed, deleted by someone else and a user's file made under its name: ext4 gives
// the freed file number straight to the new file, so the number alone would take the user's
// file for ours; its birth time tells them apart. (ext2 keeps no birth time.) Two sizes, and a
// filler in the root and in a folder.
TEST(PosixReusedNumbers, AUsersFileUnderAFreedNumberIsNotDeleted) {
    auto platform = makeSystemPlatform();
    for (const std::uint64_t size : {8u << 20, 32u << 20}) {
        SCOPED_TRACE(size);
        std::string whyNot;
        auto volume = MakeImageVolume(size, whyNot, "ext4");
        if (!volume) {
            NoVolume(whyNot);
            return;
        }
        fs::create_directory(volume->root() + "/sub");
        int reused = 0;
        for (const std::string& folder : {volume->root(), volume->root() + "/sub"}) {
            const std::string filler = folder + "/00000001.txt";
            FillerHandle handle;
            ASSERT_TRUE(platform->createExclusive(filler, handle).ok());
            platform->close(handle);
            ASSERT_EQ(::unlink(filler.c_str()), 0);
            WriteWholeFile(filler, "the user's new file");
            struct stat sb {};
            ASSERT_EQ(::stat(filler.c_str(), &sb), 0);
            reused += static_cast<std::uint64_t>(sb.st_ino) == handle.id.index ? 1 : 0;

            EXPECT_EQ(platform->removeCreated(filler, handle.id).kind, OsStatus::Kind::Exists);
            EXPECT_EQ(AsText(ReadWholeFile(filler)), "the user's new file");
        }
        EXPECT_GT(reused, 0) << "the filesystem never gave the number again: nothing was shown";
    }
}

// On btrfs, attributes go into the metadata, which a data fill cannot reach: once data has
// taken every byte it may, they still take megabytes, until a full disk is said.
TEST(PosixMetadata, OnBtrfsAttributesTakeTheMetadataThatADataFillLeaves) {
    auto platform = makeSystemPlatform();
    std::string whyNot;
    auto volume = MakeImageVolume(112u << 20, whyNot, "btrfs");
    if (!volume) {
        NoVolume(whyNot);
        return;
    }
    FillerHandle data;
    ASSERT_TRUE(platform->createExclusive(volume->root() + "/00000001.txt", data).ok());
    const std::vector<std::uint8_t> block(1u << 20, 0x35);
    std::size_t written = 0;
    while (platform->append(data, block.data(), block.size(), written).ok()) {
    }
    FillerHandle handle;
    ASSERT_TRUE(platform->createExclusive(volume->root() + "/00000002.txt", handle).ok());
    const std::vector<std::uint8_t> value(16'000, 0xCA); // an item fits in one 16 KiB node
    OsStatus added;
    std::uint64_t n = 0;
    for (;
         n < 100'000 && (added = platform->addMetadata(handle, n, value.data(), value.size())).ok();
         ++n) {
    }
    EXPECT_EQ(added.kind, OsStatus::Kind::DiskFull) << added.text;
    // The metadata of a 112 MiB btrfs is 32 MiB (twice over), nearly all of it free.
    EXPECT_GT(n * value.size(), 8u << 20);
    platform->close(handle);
    platform->close(data);
}

} // namespace
} // namespace klar::test
