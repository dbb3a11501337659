#pragma once

#include "platform/platform.h"

#include <string>

namespace klar {

/// Jumps from anywhere inside a pass to its end, carrying the cause in a few words.
struct PassFailure {
    std::string cause;
};

/// "what (the system's words)".
inline std::string Because(const std::string& what, const OsStatus& status) {
    return what + " (" + status.text + ")";
}

} // namespace klar
