// The contract both backends keep, natively and under Wine: a filler is only ever a new file of
// our own, what the user put at a name stays as it was, a full volume is told apart from other
// failures, and the free space is read afresh. Each system's facts: platform_contract.h.
#include "job_rig.h"
#include "platform/platform.h"
#include "platform_contract.h"
#include "temp_folder.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace klar::test {
namespace {
namespace fs = std::filesystem;
using contract::SystemFacts;

const std::string kFiller = "00000001.txt";
const std::string kUserData = "the user's data";

/// The system's message: one line, no final period.
void ExpectCleanText(const OsStatus& status) {
    ASSERT_FALSE(status.text.empty());
    EXPECT_EQ(status.text.find_first_of("\r\n"), std::string::npos) << status.text;
    EXPECT_NE(status.text.back(), '.') << status.text;
}

class PlatformContract : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(folder_.path().empty());
        ASSERT_FALSE(absentDrive_.empty()) << "no drive text names a missing drive";
    }

    [[nodiscard]] std::string at(const std::string& name) const {
        return JoinPath(folder_.path(), name);
    }

    /// Creates a filler of `size` bytes at path and closes it, returning its identity.
    FileId createClosed(const std::string& path, std::size_t size = 0) {
        FillerHandle file;
        EXPECT_TRUE(platform_->createExclusive(path, file).ok()) << path;
        const std::vector<std::uint8_t> data(size, 0x97);
        std::size_t written = 0;
        EXPECT_TRUE(platform_->append(file, data.data(), data.size(), written).ok());
        platform_->close(file);
        return file.id;
    }

    std::unique_ptr<Platform> platform_ = makeSystemPlatform();
    TempFolder folder_;
    const std::string absentDrive_ = contract::AbsentDrive(folder_.path());
};

TEST_F(PlatformContract, CreateExclusiveMakesANewFileWrittenThroughItsHandle) {
    const std::string path = at(kFiller);
    FillerHandle file;
    ASSERT_TRUE(platform_->createExclusive(path, file).ok());
    ASSERT_TRUE(file.open());
    EXPECT_EQ(fs::file_size(path), 0u);
    const FileId system = contract::IdentityOf(path);
    EXPECT_NE(file.id.index, 0u);
    EXPECT_EQ(file.id.volume, system.volume);
    EXPECT_EQ(file.id.index, system.index);

    // Whole blocks, then an odd tail, each stored behind the last.
    const std::string expected = std::string(65536, '\xCA') + std::string(3, '\0');
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(expected.data());
    for (const auto& [from, size] : {std::pair<std::size_t, std::size_t>{0, 65536}, {65536, 3}}) {
        std::size_t written = 0;
        EXPECT_TRUE(platform_->append(file, bytes + from, size, written).ok());
        EXPECT_EQ(written, size);
    }
    EXPECT_TRUE(platform_->flush(file).ok());
    platform_->close(file);
    EXPECT_FALSE(file.open());
    platform_->close(file); // a second close is harmless
    EXPECT_EQ(AsText(ReadWholeFile(path)), expected);
}

TEST_F(PlatformContract, PathExistsSeesFilesAndFoldersAndNothingElse) {
    fs::create_directory(at("folder"));
    WriteWholeFile(at("user.txt"), kUserData);
    for (const std::string& path : {folder_.path(), at("folder"), at("user.txt")}) {
        EXPECT_TRUE(platform_->pathExists(path)) << path;
    }
    for (const std::string& path :
         {at(kFiller), JoinPath(at("no"), "such.txt"), std::string(),
          platform_->joinPath(folder_.path(), "\xff\xfe.txt"), // not UTF-8
          platform_->joinPath(platform_->rootPath(absentDrive_), kFiller)}) {
        EXPECT_FALSE(platform_->pathExists(path)) << path;
    }
}

TEST_F(PlatformContract, RemoveCreatedDeletesItsOwnFileOnce) {
    const std::string path = at(kFiller);
    const FileId id = createClosed(path, 4096);
    EXPECT_TRUE(platform_->removeCreated(path, id).ok());
    EXPECT_FALSE(platform_->pathExists(path));
    EXPECT_FALSE(fs::exists(path));
    const OsStatus again = platform_->removeCreated(path, id);
    EXPECT_EQ(again.kind, OsStatus::Kind::Failed);
    EXPECT_EQ(again.code, SystemFacts().fileNotFound);
}

// A folder on the way, or the whole drive, is not there: each call says so in the system's
// words, and nothing is made.
TEST_F(PlatformContract, AMissingFolderOrDriveFailsAndNothingIsMade) {
    FillerHandle file;
    const OsStatus created = platform_->createExclusive(JoinPath(at("missing"), kFiller), file);
    EXPECT_EQ(created.kind, OsStatus::Kind::Failed);
    EXPECT_EQ(created.code, SystemFacts().pathNotFound);
    ExpectCleanText(created);
    EXPECT_FALSE(file.open());
    EXPECT_TRUE(ListFolder(folder_.path()).empty());

    SpaceInfo space{123, 456};
    const OsStatus asked = platform_->driveSpace(platform_->rootPath(absentDrive_), space);
    EXPECT_EQ(asked.kind, OsStatus::Kind::Failed);
    EXPECT_EQ(asked.code, SystemFacts().pathNotFound);
    ExpectCleanText(asked);
    EXPECT_EQ(space.free, 123u);
    EXPECT_EQ(space.total, 456u);
}

// A folder is known by its volume and its own index, a filler's volume is its folder's, and a
// file or a missing name is no folder. Release empties a filler through its handle.
TEST_F(PlatformContract, FolderIdentityIsTheFoldersOwnAndReleaseEmptiesAFiller) {
    FolderId folder, again, sub;
    ASSERT_TRUE(platform_->folderIdentity(folder_.path(), folder).ok());
    ASSERT_TRUE(platform_->folderIdentity(folder_.path(), again).ok());
    EXPECT_EQ(folder, again);
    fs::create_directory(at("sub"));
    ASSERT_TRUE(platform_->folderIdentity(at("sub"), sub).ok());
    EXPECT_EQ(sub.volume, folder.volume);
    EXPECT_NE(sub, folder);

    FillerHandle file;
    ASSERT_TRUE(platform_->createExclusive(at(kFiller), file).ok());
    EXPECT_EQ(file.id.volume, folder.volume);
    const std::uint8_t data[1000] = {};
    std::size_t written = 0;
    ASSERT_TRUE(platform_->append(file, data, sizeof data, written).ok());
    ASSERT_TRUE(platform_->release(file).ok());
    platform_->close(file);
    EXPECT_EQ(fs::file_size(at(kFiller)), 0u) << "released through the handle";
    FolderId notAFolder;
    EXPECT_FALSE(platform_->folderIdentity(at(kFiller), notAFolder).ok());
    EXPECT_FALSE(platform_->folderIdentity(at("missing"), notAFolder).ok());
}

TEST(PlatformDriveText, NamesTheRootThatFillersGoInto) {
    auto platform = makeSystemPlatform();
    for (const auto& drive : SystemFacts().drives) {
        EXPECT_EQ(platform->rootPath(drive.typed), drive.root) << drive.typed;
        EXPECT_EQ(platform->driveName(drive.typed), drive.name) << drive.typed;
        EXPECT_EQ(platform->joinPath(platform->rootPath(drive.typed), kFiller), drive.filler)
            << drive.typed;
    }
    for (const auto& [folder, filler] : SystemFacts().joins) {
        EXPECT_EQ(platform->joinPath(folder, kFiller), filler) << folder;
    }
}

// ---- A name the user holds: a file of theirs, or a folder

enum class Holder { File, Folder };
void PrintTo(Holder holder, std::ostream* out) {
    *out << (holder == Holder::File ? "File" : "Folder");
}

class UsersName : public PlatformContract, public ::testing::WithParamInterface<Holder> {
protected:
    /// Puts the user's own file or folder at path, over whatever is there. The file is made
    /// beside ours and moved over it, so the system cannot have handed it our file's identity.
    void putTheUsersOwn(const std::string& path) {
        if (GetParam() == Holder::File) {
            WriteWholeFile(at("elsewhere"), kUserData);
            fs::rename(at("elsewhere"), path);
        } else {
            fs::remove(path);
            fs::create_directory(path);
        }
    }
    void expectTheUsersOwn(const std::string& path) {
        EXPECT_TRUE(GetParam() == Holder::File ? AsText(ReadWholeFile(path)) == kUserData
                                               : fs::is_directory(path))
            << path;
    }
};

TEST_P(UsersName, IsNeverTakenByCreateExclusive) {
    const std::string path = at(kFiller);
    putTheUsersOwn(path);
    FillerHandle file;
    const OsStatus status = platform_->createExclusive(path, file);
    EXPECT_EQ(status.kind, OsStatus::Kind::Exists) << status.text;
    ExpectCleanText(status);
    EXPECT_FALSE(file.open());
    expectTheUsersOwn(path);
}

TEST_P(UsersName, PutInPlaceOfOurFileIsLeftAloneByRemoveCreated) {
    const std::string path = at(kFiller);
    const FileId ours = createClosed(path);
    putTheUsersOwn(path);
    EXPECT_EQ(platform_->removeCreated(path, ours).kind, OsStatus::Kind::Exists);
    expectTheUsersOwn(path);
}

INSTANTIATE_TEST_SUITE_P(PlatformContract, UsersName,
                         ::testing::Values(Holder::File, Holder::Folder),
                         ::testing::PrintToStringParamName());

// ---- A filler that fills the volume: an empty one that a single write overruns, and at two
// sizes one that a user's file fills up to a few blocks and part of one, written block by block.

struct Filling {
    const char* name;
    std::uint64_t bytes;
    std::uint64_t leave; ///< what the user's file leaves free
    std::size_t block;
};
void PrintTo(const Filling& filling, std::ostream* out) {
    *out << filling.name;
}

class FillingAVolume : public ::testing::TestWithParam<Filling> {};

TEST_P(FillingAVolume, ReadsTheSpaceAfreshAndEndsInDiskFullWithWhatFitStored) {
    const Filling& layout = GetParam();
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, layout.bytes);
    auto platform = makeSystemPlatform();
    const std::string root = volume->root();
    SpaceInfo empty, before;
    ASSERT_TRUE(platform->driveSpace(root, empty).ok());
    EXPECT_EQ(empty.total, layout.bytes);
    EXPECT_EQ(empty.free, empty.total);
    EXPECT_EQ(empty.free, AvailableBytes(root));
    const std::string userData = FillVolumeLeaving(root, "user.bin", layout.leave);
    ASSERT_TRUE(platform->driveSpace(root, before).ok());
    EXPECT_EQ(before.total, empty.total);
    EXPECT_EQ(before.free, empty.free - userData.size());

    const std::string path = JoinPath(root, kFiller);
    FillerHandle file;
    ASSERT_TRUE(platform->createExclusive(path, file).ok());
    const std::vector<std::uint8_t> block(layout.block, 0x35);
    std::uint64_t total = 0;
    OsStatus status;
    std::size_t written = 0;
    for (int i = 0; i < 1000 && status.ok(); ++i) {
        SpaceInfo byPath, byHandle;
        ASSERT_TRUE(platform->driveSpace(root, byPath).ok());
        ASSERT_TRUE(platform->driveSpaceThrough(file, root, byHandle).ok());
        EXPECT_EQ(byPath.free, before.free - total) << "after " << total;
        EXPECT_EQ(byHandle.free, byPath.free) << "after " << total;
        EXPECT_EQ(byHandle.total, byPath.total) << "after " << total;
        status = platform->append(file, block.data(), block.size(), written);
        total += written;
        EXPECT_TRUE(!status.ok() || written == block.size()) << written;
    }
    EXPECT_EQ(status.kind, OsStatus::Kind::DiskFull) << status.code << " " << status.text;
    const auto& codes = SystemFacts().diskFull;
    EXPECT_NE(std::find(codes.begin(), codes.end(), status.code), codes.end()) << status.code;
    ExpectCleanText(status);
    EXPECT_LT(written, block.size());
    if (SystemFacts().writesWhatFits) {
        EXPECT_GT(written, 0u) << "the last write was expected to be short, not refused";
    }
    EXPECT_TRUE(platform->flush(file).ok());
    platform->close(file);
    SpaceInfo closed;
    EXPECT_TRUE(platform->driveSpaceThrough(file, root, closed).ok());
    EXPECT_EQ(closed.free, 0u) << "a closed filler asks by path";
    EXPECT_EQ(AvailableBytes(root), 0u);
    EXPECT_EQ(fs::file_size(path), total) << "written must tell what reached the file";
    EXPECT_EQ(total, before.free) << "everything that fitted must be stored";
    EXPECT_EQ(AsText(ReadWholeFile(JoinPath(root, "user.bin"))), userData);
}

INSTANTIATE_TEST_SUITE_P(
    PlatformContract, FillingAVolume,
    ::testing::Values(Filling{"OneWriteOverrunsAnEmptyVolume", 64u << 10, 64u << 10, 100u << 10},
                      Filling{"BlocksRunIntoAUsersFileOn1MiB", 1u << 20, 3 * 65536 + 4096, 65536},
                      Filling{"BlocksRunIntoAUsersFileOn4MiB", 4u << 20, 3 * 65536 + 4096, 65536}),
    ::testing::PrintToStringParamName());

} // namespace
} // namespace klar::test
