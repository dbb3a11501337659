// Test volumes on Windows. A test cannot mount anything here, so the volumes are drive letters
// that the test run maps beforehand (scripts/windows-test.sh maps mounts into its private Wine
// prefix). The RAM volumes are small RAM disks of several sizes, listed in KLAR_TEST_DRIVE ("T,R,S"
// say); a test gets the smallest free one that holds the size it asks for. The image volume is one
// drive, KLAR_TEST_IMAGE_DRIVE, backed by the disk image whose Windows path is KLAR_TEST_IMAGE.
#include "volumes.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <vector>
#include <windows.h>

namespace klar::test {
namespace fs = std::filesystem;
namespace {

constexpr const char* kDriveVariable = "KLAR_TEST_DRIVE";
constexpr const char* kImageDriveVariable = "KLAR_TEST_IMAGE_DRIVE";
constexpr const char* kImageVariable = "KLAR_TEST_IMAGE";

/// The letters the run mapped, in the order given; empty when it mapped none.
std::string MappedLetters() {
    const char* value = std::getenv(kDriveVariable);
    std::string letters;
    for (const char* c = value != nullptr ? value : ""; *c != '\0'; ++c) {
        if (*c >= 'A' && *c <= 'Z') {
            letters += *c;
        } else if (*c != ',' && *c != ' ') {
            return {};
        }
    }
    return letters;
}

std::uint64_t TotalBytes(char letter) {
    const wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', L'\0'};
    ULARGE_INTEGER total{};
    if (!::GetDiskFreeSpaceExW(root, nullptr, &total, nullptr)) {
        return 0;
    }
    return total.QuadPart;
}

/// Removes everything in the root folder; the first entry that stays, with why, otherwise "".
/// Listed with the system's own search, since a drive's root has no "." entry and an empty one
/// lists nothing at all, which std::filesystem takes for a missing folder.
std::string EmptyFolder(const std::string& root) {
    const std::wstring wideRoot(root.begin(), root.end()); // drive roots are plain ASCII
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW((wideRoot + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? "" : root + ": error " + std::to_string(error);
    }
    std::vector<fs::path> entries;
    do {
        const std::wstring name = found.cFileName;
        // lost+found belongs to the disk image's file system, not to a test.
        if (name != L"." && name != L".." && name != L"lost+found") {
            entries.push_back(fs::path(wideRoot) / name);
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    for (const fs::path& entry : entries) {
        std::error_code ec;
        // Read-only files would refuse to go.
        fs::permissions(entry, fs::perms::owner_write, fs::perm_options::add, ec);
        fs::remove_all(entry, ec);
        if (ec) {
            return entry.string() + ": " + ec.message();
        }
    }
    return {};
}

/// A drive held by one test at a time, across processes too: a named mutex exists exactly as
/// long as a handle to it is open, so whoever creates it owns the drive.
class DriveClaim {
public:
    explicit DriveClaim(char letter) {
        const std::wstring name =
            std::wstring(L"Local\\klarvenor-test-drive-") + static_cast<wchar_t>(letter);
        handle_ = ::CreateMutexW(nullptr, FALSE, name.c_str());
        if (handle_ != nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS) {
            ::CloseHandle(handle_);
            handle_ = nullptr;
        }
    }
    ~DriveClaim() {
        if (handle_ != nullptr) {
            ::CloseHandle(handle_);
        }
    }
    DriveClaim(const DriveClaim&) = delete;
    DriveClaim& operator=(const DriveClaim&) = delete;
    [[nodiscard]] bool held() const { return handle_ != nullptr; }

private:
    HANDLE handle_ = nullptr;
};

class MappedDrive final : public TestVolume {
public:
    MappedDrive(char letter, std::unique_ptr<DriveClaim> claim)
        : root_(std::string(1, letter) + ":\\"),
          // Typed in lower case, so that every volume test also checks the upper-casing.
          driveText_(1, static_cast<char>(letter - 'A' + 'a')), name_(1, letter),
          claim_(std::move(claim)) {}
    ~MappedDrive() override {
        const std::string left = EmptyFolder(root_);
        if (!left.empty()) {
            ADD_FAILURE() << "cannot empty the test drive: " << left;
        }
    }
    const std::string& root() const override { return root_; }
    const std::string& driveText() const override { return driveText_; }
    std::string driveName() const override { return name_; }

private:
    std::string root_;
    std::string driveText_;
    std::string name_;
    std::unique_ptr<DriveClaim> claim_;
};

/// The mapped drive of a disk image. It cannot be taken down from here, so the image is read
/// while it is in use: it then holds what was flushed to the medium and nothing that was only
/// cached, which is what the tests that scan it look for.
class MappedImage final : public ImageVolume {
public:
    MappedImage(char letter, std::unique_ptr<DriveClaim> claim, std::string image)
        : drive_(letter, std::move(claim)), image_(std::move(image)) {}
    const std::string& root() const override { return drive_.root(); }
    const std::string& driveText() const override { return drive_.driveText(); }
    std::string driveName() const override { return drive_.driveName(); }
    const std::string& imagePath() const override { return image_; }
    void unmount() override {}

private:
    MappedDrive drive_;
    std::string image_;
};

/// The run promised the drive: one that cannot serve fails the test instead of skipping it.
std::nullptr_t Unusable(std::string& whyNot, std::string why) {
    whyNot = std::move(why);
    ADD_FAILURE() << whyNot;
    return nullptr;
}

} // namespace

std::unique_ptr<TestVolume> MakeRamVolume(std::uint64_t bytes, std::string& whyNot) {
    const std::string letters = MappedLetters();
    if (letters.empty()) {
        whyNot = std::string(kDriveVariable) +
                 " lists no drive letters mapped to RAM disks (see scripts/windows-test.sh)";
        return nullptr;
    }
    char best = '\0';
    std::unique_ptr<DriveClaim> bestClaim;
    std::uint64_t bestSize = 0;
    for (const char letter : letters) {
        const std::uint64_t size = TotalBytes(letter);
        if (size < bytes || (best != '\0' && size >= bestSize)) {
            continue;
        }
        auto claim = std::make_unique<DriveClaim>(letter);
        if (claim->held()) {
            best = letter;
            bestClaim = std::move(claim); // releases the claim on the previous best
            bestSize = size;
        }
    }
    if (best == '\0') {
        return Unusable(whyNot, "no free drive of at least " + std::to_string(bytes) +
                                    " bytes among " + kDriveVariable + "=" + letters);
    }
    const std::string left = EmptyFolder(std::string(1, best) + ":\\");
    if (!left.empty()) {
        return Unusable(whyNot, "the test drive cannot be emptied: " + left);
    }
    return std::make_unique<MappedDrive>(best, std::move(bestClaim));
}

std::unique_ptr<ImageVolume> MakeImageVolume(std::uint64_t bytes, std::string& whyNot,
                                             const std::string& filesystem) {
    if (filesystem != "ext2") {
        whyNot = "the run maps no " + filesystem + " image (see scripts/windows-test.sh)";
        return nullptr;
    }
    const char* letterValue = std::getenv(kImageDriveVariable);
    const char* imageValue = std::getenv(kImageVariable);
    if (letterValue == nullptr || imageValue == nullptr || *imageValue == '\0' ||
        std::string(letterValue).size() != 1 || letterValue[0] < 'A' || letterValue[0] > 'Z') {
        whyNot = std::string(kImageDriveVariable) + " and " + kImageVariable +
                 " name no drive mapped to a disk image (see scripts/windows-test.sh)";
        return nullptr;
    }
    const char letter = letterValue[0];
    std::error_code ec;
    const std::uint64_t imageBytes = fs::file_size(imageValue, ec);
    if (ec || imageBytes != bytes) {
        return Unusable(whyNot, std::string("the image ") + imageValue +
                                    (ec ? " cannot be read: " + ec.message()
                                        : " holds " + std::to_string(imageBytes) + " bytes, not " +
                                              std::to_string(bytes)));
    }
    // There is one image drive: a test running beside one that holds it waits its turn.
    auto claim = std::make_unique<DriveClaim>(letter);
    for (int waited = 0; !claim->held() && waited < 1200; ++waited) {
        ::Sleep(100);
        claim = std::make_unique<DriveClaim>(letter);
    }
    if (!claim->held()) {
        return Unusable(whyNot, std::string("the image drive ") + letter +
                                    ": stayed in use by another test");
    }
    const std::string left = EmptyFolder(std::string(1, letter) + ":\\");
    if (!left.empty()) {
        return Unusable(whyNot, "the image drive cannot be emptied: " + left);
    }
    return std::make_unique<MappedImage>(letter, std::move(claim), imageValue);
}

} // namespace klar::test
