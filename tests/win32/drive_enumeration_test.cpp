// The drive list on Windows: the system's drive string, fetched whole even with all 26 letters
// in use, and the letters the window offers.
#include "engine/drive_list.h"
#include "win32_test_support.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>

namespace klar::test {
namespace {

std::vector<std::string> AllLetters() {
    std::vector<std::string> letters;
    for (char c = 'A'; c <= 'Z'; ++c) {
        letters.emplace_back(1, c);
    }
    return letters;
}

bool Lists(const std::vector<std::string>& entries, const std::string& letter) {
    return std::find(entries.begin(), entries.end(), letter) != entries.end();
}

/// Maps every free letter to C:\windows for the life of the object: a machine with all 26
/// drive letters in use. Only for a Wine prefix that the test run owns.
class AllLettersInUse {
public:
    AllLettersInUse() {
        for (char c = 'A'; c <= 'Z'; ++c) {
            if ((::GetLogicalDrives() & (1u << (c - 'A'))) == 0) {
                const wchar_t device[3] = {static_cast<wchar_t>(c), L':', L'\0'};
                if (::DefineDosDeviceW(0, device, L"C:\\windows")) {
                    defined_.push_back(c);
                }
            }
        }
    }
    ~AllLettersInUse() {
        for (char c : defined_) {
            const wchar_t device[3] = {static_cast<wchar_t>(c), L':', L'\0'};
            ::DefineDosDeviceW(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, device,
                               L"C:\\windows");
        }
    }
    AllLettersInUse(const AllLettersInUse&) = delete;
    AllLettersInUse& operator=(const AllLettersInUse&) = delete;

private:
    std::vector<char> defined_;
};

TEST(DriveStringParsing, TwentySixRootsGiveTwentySixLetters) {
    std::string driveString;
    for (char c = 'a'; c <= 'z'; ++c) {
        driveString += std::string(1, c) + ":\\" + '\0';
    }
    driveString += '\0';
    ASSERT_EQ(driveString.size(), 105u) << "more than the 104 characters of the old buffer";
    EXPECT_EQ(ParseDriveList(driveString), AllLetters());
}

TEST(SystemDriveString, ListsRootsEachEndedByANulAndAFinalNul) {
    auto platform = makeSystemPlatform();
    const std::string drives = platform->driveStrings();
    ASSERT_GE(drives.size(), 5u);
    EXPECT_EQ(drives.substr(drives.size() - 2), std::string(2, '\0'));
    std::string rest = drives;
    while (rest.size() > 1) {
        const std::string root = TakeFirstItem(rest);
        ASSERT_EQ(root.size(), 3u) << root;
        EXPECT_TRUE(root[0] >= 'A' && root[0] <= 'Z') << root;
        EXPECT_EQ(root.substr(1), ":\\");
    }
}

TEST(SystemDriveString, OffersCTheMappedDriveAndZ) {
    const char* mapped = std::getenv("KLAR_TEST_DRIVE");
    if (mapped == nullptr || !RunningUnderWine()) {
        GTEST_SKIP() << "needs the Wine prefix of scripts/windows-test.sh";
    }
    auto platform = makeSystemPlatform();
    const std::vector<std::string> letters = LoadDriveList(*platform);
    EXPECT_TRUE(Lists(letters, "C"));
    for (const char* c = mapped; *c != '\0'; ++c) {
        if (*c != ',') {
            EXPECT_TRUE(Lists(letters, std::string(1, *c))) << *c << " of " << mapped;
        }
    }
    EXPECT_TRUE(Lists(letters, "Z")) << "Wine's view of the Unix root";
    EXPECT_TRUE(std::is_sorted(letters.begin(), letters.end()));
}

TEST(SystemDriveString, AllTwentySixLettersInUseAreAllOffered) {
    if (std::getenv("KLAR_TEST_DRIVE") == nullptr || !RunningUnderWine()) {
        GTEST_SKIP() << "maps drive letters for the whole session: only in the private Wine "
                        "prefix of scripts/windows-test.sh";
    }
    auto platform = makeSystemPlatform();
    const std::vector<std::string> before = LoadDriveList(*platform);
    {
        const AllLettersInUse all;
        ASSERT_EQ(::GetLogicalDrives(), (1u << 26) - 1) << "could not take every letter";
        EXPECT_EQ(platform->driveStrings().size(), 26u * 4 + 1);
        EXPECT_EQ(LoadDriveList(*platform), AllLetters());
    }
    EXPECT_EQ(LoadDriveList(*platform), before) << "the extra letters were not given back";
}

} // namespace
} // namespace klar::test
