#include "engine/random_source.h"

#include <chrono>

namespace klar {

void ClockSeededRandom::reseedFromClock() {
    const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    generator_.seed(static_cast<std::uint64_t>(ticks));
}

double ClockSeededRandom::next() {
    // 53 random bits scaled into [0, 1); std::generate_canonical may return 1.0 on some
    // standard libraries, which would make a byte of 255.
    return static_cast<double>(generator_() >> 11) * 0x1.0p-53;
}

std::uint8_t RandomPatternByte(RandomSource& random) {
    double r = random.next();
    if (!(r >= 0.0 && r < 1.0)) {
        r = 0.0;
    }
    return static_cast<std::uint8_t>(r * 255.0);
}

} // namespace klar
