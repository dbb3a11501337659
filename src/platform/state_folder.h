#pragma once

#include "platform.h"

#include <string>

namespace klar {

/// The folder where the program keeps its small state for the user: $XDG_STATE_HOME/klarvenor
/// (default ~/.local/state/klarvenor) on POSIX, %LOCALAPPDATA%\Klarvenor on Windows. It may not
/// exist yet; empty when the system names no such place.
[[nodiscard]] std::string StateFolder();

/// Creates path as a new file (never an existing one, never through a link), open for
/// appending, and held by this process until it closes the
/// handle or ends, however it ends. Kind::Exists when the name is taken.
[[nodiscard]] OsStatus CreateHeldFile(const std::string& path, FillerHandle& out);

/// Appends text to a held file and, unless `flush` is false, forces it to the medium. Failed
/// when either step fails. Text not flushed outlives the process, not a power loss.
[[nodiscard]] OsStatus AppendToHeldFile(FillerHandle& file, const std::string& text,
                                        bool flush = true);

/// Lets go of a held file; the file stays. Safe on a closed handle.
void CloseHeldFile(FillerHandle& file);

/// Opens a file made by CreateHeldFile in another process once that process let it go, and
/// reads it whole into content; `out` then holds it in turn. Kind::Exists while its maker
/// still holds it; Failed when it cannot be opened or read.
[[nodiscard]] OsStatus TakeOverHeldFile(const std::string& path, FillerHandle& out,
                                        std::string& content);

} // namespace klar
