// The Win32 backend: its side of the contract test, and what only Windows has: file attributes,
// writes past the cache, wide names, and identities of files and folders made anew.
#include "job_rig.h"
#include "platform/aligned_buffer.h"
#include "platform/platform.h"
#include "platform_contract.h"
#include "win32_test_support.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace klar::test {
namespace fs = std::filesystem;

namespace contract {

std::string AbsentDrive(const std::string&) {
    const char unused = UnusedDriveLetter();
    return unused == '\0' ? std::string() : std::string(1, unused) + ":";
}

FileId IdentityOf(const std::string& path) {
    const HANDLE handle = ::CreateFileW(fs::path(path).wstring().c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    if (handle != INVALID_HANDLE_VALUE) {
        ::GetFileInformationByHandle(handle, &info);
        ::CloseHandle(handle);
    }
    return {info.dwVolumeSerialNumber,
            (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

const Facts& SystemFacts() {
    static const Facts facts{
        .pathNotFound = ERROR_PATH_NOT_FOUND,
        .fileNotFound = ERROR_FILE_NOT_FOUND,
        .diskFull = {ERROR_DISK_FULL, ERROR_HANDLE_DISK_FULL},
        // Wine writes what fits and reports success for it; Windows may refuse the whole write.
        .writesWhatFits = RunningUnderWine(),
        // A letter in any usual form names its drive; anything else is upper-cased as typed.
        .drives = {{"t", "T:\\", "T", "T:\\00000001.txt"},
                   {"T", "T:\\", "T", "T:\\00000001.txt"},
                   {"t:", "T:\\", "T", "T:\\00000001.txt"},
                   {"T:", "T:\\", "T", "T:\\00000001.txt"},
                   {"t:\\", "T:\\", "T", "T:\\00000001.txt"},
                   {"T:/", "T:\\", "T", "T:\\00000001.txt"},
                   {"cd", "CD:\\", "CD", "CD:\\00000001.txt"},
                   {"\xc3\xa9", "\xc3\x89:\\", "\xc3\x89", "\xc3\x89:\\00000001.txt"}, // é, É
                   {"1", "1:\\", "1", "1:\\00000001.txt"}},
        .joins = {{"T:\\data", "T:\\data\\00000001.txt"}}};
    return facts;
}

} // namespace contract

namespace {

constexpr std::uint64_t kSize = 8u << 20;

TEST(Win32PathExists, DriveRootsAndFilesOfAnyAttributesCount) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kSize);
    auto platform = makeSystemPlatform();
    const std::string file = JoinPath(volume->root(), "hidden.txt");
    WriteWholeFile(file, "user data");
    const std::wstring wideFile(file.begin(), file.end());
    ASSERT_TRUE(::SetFileAttributesW(wideFile.c_str(), FILE_ATTRIBUTE_HIDDEN |
                                                           FILE_ATTRIBUTE_READONLY |
                                                           FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_TRUE(platform->pathExists(file));
    EXPECT_TRUE(platform->pathExists(volume->root()));
    ::SetFileAttributesW(wideFile.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(Win32CreateExclusive, Utf8NamesReachTheSystemIntact) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kSize);
    auto platform = makeSystemPlatform();
    const std::string name = "Gr\xc3\xb6\xc3\x9f"
                             "e-\xe6\x97\xa5.txt";
    FillerHandle file;
    ASSERT_TRUE(platform->createExclusive(volume->root() + name, file).ok());
    platform->close(file);
    std::vector<std::wstring> names;
    for (const auto& entry : fs::directory_iterator(fs::path(volume->root()))) {
        names.push_back(entry.path().filename().wstring());
    }
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0], L"Gr\u00f6\u00dfe-\u65e5.txt");
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

// ---- Identity and release

// Someone else deletes our filler and makes a file of their own under its name: the system
// gives the new file an identity of its own, so it is left alone.
TEST(Win32RemoveCreated, LeavesAloneAFileMadeAnewUnderItsName) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kSize);
    auto platform = makeSystemPlatform();
    const std::string path = JoinPath(volume->root(), "00000001.txt");
    FillerHandle file;
    ASSERT_TRUE(platform->createExclusive(path, file).ok());
    platform->close(file);
    fs::remove(path);
    WriteWholeFile(path, "user data");

    EXPECT_EQ(platform->removeCreated(path, file.id).kind, OsStatus::Kind::Exists);
    EXPECT_EQ(AsText(ReadWholeFile(path)), "user data");
}

// Another drive, or the same folder name made anew, gives another identity.
TEST(Win32FolderIdentity, TellsDrivesAndFoldersMadeAnewApart) {
    KLAR_REQUIRE_VOLUME(first, MakeRamVolume, 1u << 20);
    KLAR_REQUIRE_VOLUME(second, MakeRamVolume, 1u << 20);
    auto platform = makeSystemPlatform();
    FolderId a, b;
    ASSERT_TRUE(platform->folderIdentity(first->root(), a).ok());
    ASSERT_TRUE(platform->folderIdentity(second->root(), b).ok());
    EXPECT_NE(a.volume, b.volume);

    const std::string sub = JoinPath(first->root(), "sub");
    fs::create_directory(sub);
    FolderId before, after;
    ASSERT_TRUE(platform->folderIdentity(sub, before).ok());
    fs::remove(sub);
    fs::create_directory(sub);
    ASSERT_TRUE(platform->folderIdentity(sub, after).ok());
    EXPECT_NE(before, after);
}

} // namespace
} // namespace klar::test
