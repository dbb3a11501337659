#pragma once

#include "forwarding_platform.h"

#include <string>
#include <utility>

namespace klar::test {

/// The system's platform, but for the drives it reports: the given drive string (roots, each
/// followed by a NUL, and one more NUL at the end).
class GivenDrives final : public ForwardingPlatform {
public:
    explicit GivenDrives(std::string driveString)
        : ForwardingPlatform(makeSystemPlatform()), driveString_(std::move(driveString)) {}

    std::string driveStrings() override { return driveString_; }

private:
    std::string driveString_;
};

} // namespace klar::test
