#pragma once

#include <string>

namespace klar {

/// Writes text to path as a whole or not at all: into a new file beside it (never through a
/// link), forced to the medium, then renamed over path. Empty on success, else why in the
/// system's words.
[[nodiscard]] std::string WriteFileAtomically(const std::string& path, const std::string& text);

/// This machine's name and the name of the user the process runs as; empty when unknown.
[[nodiscard]] std::string HostName();
[[nodiscard]] std::string UserName();

} // namespace klar
