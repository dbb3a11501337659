// The Win32 backend on a real drive: what each call leaves on the drive and what it reports.
#include "job_rig.h"
#include "platform/aligned_buffer.h"
#include "platform/platform.h"
#include "win32_test_support.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace klar::test {
namespace {
namespace fs = std::filesystem;

constexpr std::uint64_t kSize = 8u << 20;

/// The system's message: one line, no final period.
void ExpectCleanText(const OsStatus& status) {
    EXPECT_FALSE(status.text.empty());
    EXPECT_EQ(status.text.find_first_of("\r\n"), std::string::npos) << status.text;
    EXPECT_NE(status.text.back(), '.') << status.text;
}

// ---- Existence

TEST(Win32PathExists, AnythingAtThePathCounts) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kSize);
    auto platform = makeSystemPlatform();
    const std::string folder = JoinPath(volume->root(), "folder");
    const std::string file = JoinPath(volume->root(), "hidden.txt");
    fs::create_directory(folder);
    WriteWholeFile(file, "user data");
    // Attributes other than "normal" must not hide a file.
    const std::wstring wideFile(file.begin(), file.end());
    ASSERT_TRUE(::SetFileAttributesW(wideFile.c_str(), FILE_ATTRIBUTE_HIDDEN |
                                                           FILE_ATTRIBUTE_READONLY |
                                                           FILE_ATTRIBUTE_ARCHIVE));

    EXPECT_TRUE(platform->pathExists(volume->root()));
    EXPECT_TRUE(platform->pathExists(folder));
    EXPECT_TRUE(platform->pathExists(file));
    ::SetFileAttributesW(wideFile.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(Win32PathExists, AbsentOrUnreadablePathsCountAsAbsent) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kSize);
    auto platform = makeSystemPlatform();
    EXPECT_FALSE(platform->pathExists(JoinPath(volume->root(), "00000001.txt")));
    EXPECT_FALSE(platform->pathExists(JoinPath(volume->root(), "no\\such.txt")));
    EXPECT_FALSE(platform->pathExists(""));
    EXPECT_FALSE(platform->pathExists("\xff\xfe.txt")) << "not UTF-8";
    const char unused = UnusedDriveLetter();
    ASSERT_NE(unused, '\0');
    EXPECT_FALSE(platform->pathExists(std::string(1, unused) + ":\\00000001.txt"));
}

// ---- Past the cache: aligned runs through the second handle, the rest through the first, each
// at the file's end.

TEST(Win32WriteDirect, AlignedRunsAndAnOddTailLandInOrder) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kSize);
    auto platform = makeSystemPlatform();
    const std::string path = JoinPath(volume->root(), "00000001.txt");
    FillerHandle file;
    ASSERT_TRUE(platform->createExclusive(path, file).ok());
    ASSERT_TRUE(platform->writeDirect(file));
    AlignedBuffer buffer(65536);
    std::string expected;
    for (const auto& [byte, size] : {std::pair{0x35, 65536}, {0xCA, 3}, {0x97, 65536}}) {
        buffer.fill(static_cast<std::uint8_t>(byte));
        std::size_t written = 0;
        ASSERT_TRUE(
            platform->append(file, buffer.data(), static_cast<std::size_t>(size), written).ok());
        expected.append(static_cast<std::size_t>(size), static_cast<char>(byte));
    }
    ASSERT_TRUE(platform->flush(file).ok());
    platform->close(file);
    EXPECT_EQ(AsText(ReadWholeFile(path)), expected);
}

// ---- Exclusive creation

TEST(Win32CreateExclusive, MakesANewEmptyFile) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kSize);
    auto platform = makeSystemPlatform();
    const std::string path = JoinPath(volume->root(), "00000001.txt");
    FillerHandle file;
    ASSERT_TRUE(platform->createExclusive(path, file).ok());
    EXPECT_TRUE(file.open());
    EXPECT_NE(file.id.index, 0u);
    platform->close(file);
    EXPECT_FALSE(file.open());
    platform->close(file); // a second close is harmless
    EXPECT_EQ(fs::file_size(path), 0u);
}

TEST(Win32CreateExclusive, TakenNameIsReportedAndLeftAsItWas) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kSize);
    auto platform = makeSystemPlatform();
    const std::string userFile = JoinPath(volume->root(), "00000001.txt");
    const std::string userFolder = JoinPath(volume->root(), "00000002.txt");
    WriteWholeFile(userFile, "user data");
    fs::create_directory(userFolder);

    FillerHandle file;
    const OsStatus onFile = platform->createExclusive(userFile, file);
    EXPECT_EQ(onFile.kind, OsStatus::Kind::Exists) << onFile.text;
    EXPECT_FALSE(file.open());
    const OsStatus onFolder = platform->createExclusive(userFolder, file);
    EXPECT_EQ(onFolder.kind, OsStatus::Kind::Exists) << onFolder.text;
    EXPECT_FALSE(file.open());

    EXPECT_EQ(AsText(ReadWholeFile(userFile)), "user data");
    EXPECT_TRUE(fs::is_directory(userFolder));
    ExpectCleanText(onFile);
}

TEST(Win32CreateExclusive, MissingFolderFailsWithTheSystemsWords) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kSize);
    auto platform = makeSystemPlatform();
    FillerHandle file;
    const OsStatus status =
        platform->createExclusive(JoinPath(volume->root(), "missing\\00000001.txt"), file);
    EXPECT_EQ(status.kind, OsStatus::Kind::Failed);
    EXPECT_EQ(status.code, ERROR_PATH_NOT_FOUND);
    ExpectCleanText(status);
    EXPECT_FALSE(file.open());
    EXPECT_TRUE(ListFolder(volume->root()).empty());
}

TEST(Win32CreateExclusive, Utf8NamesReachTheSystemIntact) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kSize);
    auto platform = makeSystemPlatform();
    FillerHandle file;
    ASSERT_TRUE(platform
                    ->createExclusive(volume->root() + "Gr\xc3\xb6\xc3\x9f"
                                                       "e-\xe6\x97\xa5.txt",
                                      file)
                    .ok());
    platform->close(file);
    std::vector<std::wstring> names;
    for (const auto& entry : fs::directory_iterator(fs::path(volume->root()))) {
        names.push_back(entry.path().filename().wstring());
    }
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0], L"Gr\u00f6\u00dfe-\u65e5.txt");
}

// ---- Appending and flushing

TEST(Win32Append, StoresEveryByteAsGivenBehindTheLast) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kSize);
    auto platform = makeSystemPlatform();
    const std::string path = JoinPath(volume->root(), "00000001.txt");
    FillerHandle file;
    ASSERT_TRUE(platform->createExclusive(path, file).ok());
    const std::vector<std::uint8_t> first(65536, 0xCA);
    const std::vector<std::uint8_t> second(3, 0x00);
    std::size_t written = 0;
    ASSERT_TRUE(platform->append(file, first.data(), first.size(), written).ok());
    EXPECT_EQ(written, first.size());
    ASSERT_TRUE(platform->append(file, second.data(), second.size(), written).ok());
    EXPECT_EQ(written, second.size());
    EXPECT_TRUE(platform->flush(file).ok());
    platform->close(file);

    std::vector<std::uint8_t> expected = first;
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(ReadWholeFile(path), expected);
}

TEST(Win32Append, WriteThatDoesNotFitIsAFailedWriteOfAFullDisk) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kSize);
    auto platform = makeSystemPlatform();
    // A user file of an odd size, so that the free space ends inside a block.
    const std::string userData = FillVolumeLeaving(volume->root(), "user.bin", 3 * 65536 + 5000);
    const std::string path = JoinPath(volume->root(), "00000001.txt");
    FillerHandle file;
    ASSERT_TRUE(platform->createExclusive(path, file).ok());
    const std::vector<std::uint8_t> block(65536, 0x35);
    std::uint64_t total = 0;
    OsStatus status;
    std::size_t written = 0;
    for (int i = 0; i < 1000; ++i) {
        status = platform->append(file, block.data(), block.size(), written);
        total += written;
        if (!status.ok()) {
            break;
        }
        EXPECT_EQ(written, block.size());
    }
    EXPECT_EQ(status.kind, OsStatus::Kind::DiskFull) << status.code << " " << status.text;
    EXPECT_TRUE(status.code == ERROR_DISK_FULL || status.code == ERROR_HANDLE_DISK_FULL);
    ExpectCleanText(status);
    EXPECT_LT(written, block.size());
    if (RunningUnderWine()) {
        // Wine writes what fits and reports success for it; the backend must ask again.
        EXPECT_GT(written, 0u) << "the last write was expected to be short, not refused";
    }
    EXPECT_TRUE(platform->flush(file).ok());
    platform->close(file);
    EXPECT_EQ(fs::file_size(path), total) << "written must tell what reached the file";
    EXPECT_EQ(FreeBytes(volume->root()), 0u);
    EXPECT_EQ(AsText(ReadWholeFile(JoinPath(volume->root(), "user.bin"))), userData);
}

// ---- Deleting what we created

TEST(Win32RemoveCreated, DeletesTheFileThisPassCreated) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kSize);
    auto platform = makeSystemPlatform();
    const std::string path = JoinPath(volume->root(), "00000001.txt");
    FillerHandle file;
    ASSERT_TRUE(platform->createExclusive(path, file).ok());
    const std::vector<std::uint8_t> block(4096, 0x97);
    std::size_t written = 0;
    ASSERT_TRUE(platform->append(file, block.data(), block.size(), written).ok());
    platform->close(file);

    EXPECT_TRUE(platform->removeCreated(path, file.id).ok());
    EXPECT_FALSE(fs::exists(path));
    const OsStatus again = platform->removeCreated(path, file.id);
    EXPECT_EQ(again.kind, OsStatus::Kind::Failed);
    EXPECT_EQ(again.code, ERROR_FILE_NOT_FOUND);
}

TEST(Win32RemoveCreated, LeavesAloneWhatReplacedIt) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kSize);
    auto platform = makeSystemPlatform();
    const std::string asFile = JoinPath(volume->root(), "00000001.txt");
    const std::string asFolder = JoinPath(volume->root(), "00000002.txt");
    FillerHandle first;
    FillerHandle second;
    ASSERT_TRUE(platform->createExclusive(asFile, first).ok());
    ASSERT_TRUE(platform->createExclusive(asFolder, second).ok());
    platform->close(first);
    platform->close(second);
    // Someone else deletes our files and puts their own in their place.
    fs::remove(asFile);
    fs::remove(asFolder);
    WriteWholeFile(asFile, "user data");
    fs::create_directory(asFolder);

    EXPECT_EQ(platform->removeCreated(asFile, first.id).kind, OsStatus::Kind::Exists);
    EXPECT_EQ(platform->removeCreated(asFolder, second.id).kind, OsStatus::Kind::Exists);
    EXPECT_EQ(AsText(ReadWholeFile(asFile)), "user data");
    EXPECT_TRUE(fs::is_directory(asFolder));
}

// ---- Drive space

TEST(Win32DriveSpace, ReadsTheMappedDriveAfresh) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kSize);
    auto platform = makeSystemPlatform();
    SpaceInfo before;
    ASSERT_TRUE(platform->driveSpace(volume->root(), before).ok());
    EXPECT_GT(before.total, 0u);
    EXPECT_LE(before.free, before.total);
    EXPECT_EQ(before.free, FreeBytes(volume->root()));

    WriteWholeFile(JoinPath(volume->root(), "user.bin"), std::string(256 * 1024, 'x'));
    SpaceInfo after;
    ASSERT_TRUE(platform->driveSpace(volume->root(), after).ok());
    EXPECT_EQ(after.total, before.total);
    EXPECT_LE(after.free + 256 * 1024, before.free);
}

TEST(Win32DriveSpace, ThroughAnOpenFileGivesTheSameFiguresAsByPath) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kSize);
    auto platform = makeSystemPlatform();
    FillerHandle file;
    ASSERT_TRUE(platform->createExclusive(JoinPath(volume->root(), "00000001.txt"), file).ok());
    const std::vector<std::uint8_t> block(256 * 1024, 0x35);
    for (int round = 0; round < 2; ++round) {
        SpaceInfo byPath;
        SpaceInfo byHandle;
        ASSERT_TRUE(platform->driveSpace(volume->root(), byPath).ok());
        ASSERT_TRUE(platform->driveSpaceThrough(file, volume->root(), byHandle).ok());
        EXPECT_EQ(byHandle.free, byPath.free) << "round " << round;
        EXPECT_EQ(byHandle.total, byPath.total) << "round " << round;
        std::size_t written = 0;
        ASSERT_TRUE(platform->append(file, block.data(), block.size(), written).ok());
    }
    platform->close(file);
    SpaceInfo closed;
    EXPECT_TRUE(platform->driveSpaceThrough(file, volume->root(), closed).ok());
    EXPECT_EQ(closed.free, FreeBytes(volume->root())) << "a closed file asks by path";
}

TEST(Win32DriveSpace, DriveThatIsNotThereFails) {
    auto platform = makeSystemPlatform();
    const char unused = UnusedDriveLetter();
    ASSERT_NE(unused, '\0');
    SpaceInfo space{123, 456};
    const OsStatus status = platform->driveSpace(std::string(1, unused) + ":\\", space);
    EXPECT_EQ(status.kind, OsStatus::Kind::Failed);
    ExpectCleanText(status);
    EXPECT_EQ(space.free, 123u);
    EXPECT_EQ(space.total, 456u);
}

// ---- Drive text

TEST(Win32DriveText, LetterInAnyUsualFormNamesTheDrive) {
    auto platform = makeSystemPlatform();
    for (const std::string text : {"t", "T", "t:", "T:", "t:\\", "T:/"}) {
        EXPECT_EQ(platform->rootPath(text), "T:\\") << text;
        EXPECT_EQ(platform->driveName(text), "T") << text;
    }
}

TEST(Win32DriveText, AnythingElseIsTakenAsTypedAndUpperCased) {
    auto platform = makeSystemPlatform();
    EXPECT_EQ(platform->rootPath("cd"), "CD:\\");
    EXPECT_EQ(platform->driveName("cd"), "CD");
    EXPECT_EQ(platform->driveName("\xc3\xa9"), "\xc3\x89"); // é becomes É
    EXPECT_EQ(platform->rootPath("1"), "1:\\");
}

TEST(Win32DriveText, FilesGoIntoTheRootFolder) {
    auto platform = makeSystemPlatform();
    EXPECT_EQ(platform->joinPath("T:\\", "00000001.txt"), "T:\\00000001.txt");
    EXPECT_EQ(platform->joinPath(platform->rootPath("t"), "00000001.txt"), "T:\\00000001.txt");
    EXPECT_EQ(platform->joinPath("T:\\data", "00000001.txt"), "T:\\data\\00000001.txt");
}

// ---- Identity and release

// A folder is known by its volume and its own index: another drive, or the same folder name
// made anew, gives another identity; a filler's volume is its drive's; a file is no folder.
TEST(Win32FolderIdentity, TellsDrivesAndFoldersApartAndMatchesTheFillersVolume) {
    KLAR_REQUIRE_VOLUME(first, MakeRamVolume, 1u << 20);
    KLAR_REQUIRE_VOLUME(second, MakeRamVolume, 1u << 20);
    auto platform = makeSystemPlatform();
    FolderId a, again, b;
    ASSERT_TRUE(platform->folderIdentity(first->root(), a).ok());
    ASSERT_TRUE(platform->folderIdentity(first->root(), again).ok());
    ASSERT_TRUE(platform->folderIdentity(second->root(), b).ok());
    EXPECT_EQ(a, again);
    EXPECT_NE(a.volume, b.volume);

    const std::string sub = JoinPath(first->root(), "sub");
    fs::create_directory(sub);
    FolderId before, after;
    ASSERT_TRUE(platform->folderIdentity(sub, before).ok());
    fs::remove(sub);
    fs::create_directory(sub);
    ASSERT_TRUE(platform->folderIdentity(sub, after).ok());
    EXPECT_NE(before, after);

    FillerHandle file;
    const std::string path = JoinPath(first->root(), "00000001.txt");
    ASSERT_TRUE(platform->createExclusive(path, file).ok());
    EXPECT_EQ(file.id.volume, a.volume);
    const std::uint8_t data[1000] = {};
    std::size_t written = 0;
    ASSERT_TRUE(platform->append(file, data, sizeof data, written).ok());
    ASSERT_TRUE(platform->release(file).ok());
    platform->close(file);
    EXPECT_EQ(fs::file_size(path), 0u) << "released through the handle";
    FolderId notAFolder;
    EXPECT_FALSE(platform->folderIdentity(path, notAFolder).ok());
    EXPECT_FALSE(platform->folderIdentity(JoinPath(first->root(), "missing"), notAFolder).ok());
}

} // namespace
} // namespace klar::test
