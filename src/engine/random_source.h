#pragma once

#include <cstdint>
#include <random>

namespace klar {

/// The pseudo-random generator of the methods with random passes.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    /// Starts a new sequence seeded from the system clock.
    virtual void reseedFromClock() = 0;
    /// The next value r, uniform with 0 <= r < 1.
    [[nodiscard]] virtual double next() = 0;
};

class ClockSeededRandom final : public RandomSource {
public:
    void reseedFromClock() override;
    double next() override;

private:
    std::mt19937_64 generator_;
};

/// A random pattern byte: the integer part of r * 255, so 0 to 254 and never 255.
[[nodiscard]] std::uint8_t RandomPatternByte(RandomSource& random);

} // namespace klar
