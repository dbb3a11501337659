#pragma once

#include "platform/platform.h"

#include <string>
#include <vector>

namespace klar {

/// The part of text before its first NUL; that part and the NUL are removed from text.
/// Without a NUL: the empty string, and text stays as it is.
std::string TakeFirstItem(std::string& text);

/// The system's drive string (root paths, each followed by a NUL, and a final NUL); empty
/// when the system cannot tell.
std::string GetDriveStrings(Platform& platform);

/// One entry per root path of a drive string, in order. A drive-letter root ("c:\") gives its
/// letter, upper-cased ("C"); any other root (a POSIX mount point) is offered whole.
std::vector<std::string> ParseDriveList(std::string driveString);

/// The drives found now: what the drive list offers (gDriveLetters).
std::vector<std::string> LoadDriveList(Platform& platform);

} // namespace klar
