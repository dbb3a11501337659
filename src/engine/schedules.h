#pragma once

#include <array>
#include <cstdint>

namespace klar {

inline constexpr std::array<std::uint8_t, 3> kDodBytes = {53, 202, 151};
inline constexpr std::array<std::uint8_t, 7> kNsaBytes = {0, 255, 0, 255, 0, 255, 0};
/// Passes 1 to 7 of the Canadian method; pass 8 is random.
inline constexpr std::array<std::uint8_t, 7> kCanadianFixedBytes = kNsaBytes;
/// Passes 1 to 27 of the Guttman and UK methods; the passes after them are random.
inline constexpr std::array<std::uint8_t, 27> kGuttmanFixedBytes = {
    85, 170, 102, 153, 204, 51, 1,  2,   4, 8,   16, 32, 64, 128,
    0,  129, 66,  36,  24,  36, 66, 129, 0, 255, 0,  85, 170};

inline constexpr int kSinglePasses = 1;
inline constexpr int kDodPasses = 3;
inline constexpr int kNsaPasses = 7;
inline constexpr int kCanadianPasses = 8;
inline constexpr int kGuttmanPasses = 35;
inline constexpr int kUkPasses = 38;

} // namespace klar
