#pragma once
// What the platform contract test (platform_contract_test.cpp) needs to know of the system it
// runs on. posix_platform_test.cpp and win32_platform_test.cpp each define these once.
#include "platform/platform.h"

#include <string>
#include <utility>
#include <vector>

namespace klar::test::contract {

/// A drive text, beside folder, for a drive that is not there ("" if the system has none).
std::string AbsentDrive(const std::string& folder);

/// The identity the system itself gives the file at path.
FileId IdentityOf(const std::string& path);

struct DriveText {
    std::string typed;  ///< as the user types it
    std::string root;   ///< rootPath
    std::string name;   ///< driveName
    std::string filler; ///< where 00000001.txt goes in that root
};

struct Facts {
    int pathNotFound = 0;        ///< a folder on the way, or the drive, is not there
    int fileNotFound = 0;        ///< the file itself is not there
    std::vector<int> diskFull;   ///< a write that found no room
    bool writesWhatFits = false; ///< a write that overruns the volume first stores what fits
    std::vector<DriveText> drives;
    std::vector<std::pair<std::string, std::string>> joins; ///< a folder, and 00000001.txt in it
};
const Facts& SystemFacts();

} // namespace klar::test::contract
