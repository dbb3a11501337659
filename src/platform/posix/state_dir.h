#pragma once

#include "platform/platform.h"

#include <string>

namespace klar {

/// The checked state folder (see CheckStateFolder) opened as a descriptor, made if missing;
/// -1, with why in `status`, when it may not hold this user's state.
int OpenStateFolder(const std::string& folder, OsStatus& status);

/// Opens name in the folder `dir` with flags (O_CREAT included, if asked): only a plain file of
/// this user's that nobody else may write, never through a link and never waiting on a FIFO or
/// device. -1, with why in `status`, otherwise.
int OpenTrustedFile(int dir, const std::string& name, int flags, OsStatus& status);

/// The system's words for errno err, with its kind.
OsStatus ErrnoStatus(int err);

} // namespace klar
