#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace klar {

/// True when a file of `size` bytes holds nothing but `fill` where it is read: its start, its
/// end and 62 pieces of 64 KiB spread between, so a filler of gigabytes is not read whole at
/// every start. `read(offset, data, length)` reads exactly length bytes or returns false.
template <typename Read> bool HoldsOnlyFill(std::uint64_t size, std::uint8_t fill, Read&& read) {
    constexpr std::uint64_t kPiece = 65'536;
    constexpr std::uint64_t kPieces = 64;
    const std::uint64_t want = std::min(kPiece, size);
    const std::uint64_t last = size - want; // where the final piece starts
    std::vector<std::uint8_t> piece(static_cast<std::size_t>(want));
    for (std::uint64_t n = 0; n < kPieces; ++n) {
        const std::uint64_t at = n + 1 == kPieces ? last : last / (kPieces - 1) * n;
        if (!read(at, piece.data(), piece.size()) ||
            !std::all_of(piece.begin(), piece.end(),
                         [fill](std::uint8_t b) { return b == fill; })) {
            return false;
        }
        if (last == 0) {
            break; // one piece held it all
        }
    }
    return true;
}

} // namespace klar
