#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
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

/// 12582912 as "12,582,912".
inline std::string WithSeparators(std::uint64_t value) {
    std::string digits = std::to_string(value);
    for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<std::size_t>(at), 1, ',');
    }
    return digits;
}

} // namespace klar
