// The terminal line's time left: the running pass's, and the whole job's while passes remain.
#include "cli/console_view.h"

#include <gtest/gtest.h>

namespace klar::cli {
namespace {

TEST(TimeLeft, GivesThePassAndTheJobAtTheMeasuredRate) {
    constexpr double kRate = 10e6; // bytes a second
    const struct {
        std::uint64_t remaining;
        std::uint64_t passStartFree;
        int pass;
        int passes;
        const char* text;
    } cases[] = {
        {100'000'000, 100'000'000, 1, 1, "0:10 left"},          // the only pass
        {50'000'000, 100'000'000, 1, 3, "0:05 left, job 0:25"}, // two whole passes to come
        {0, 36'000'000'000, 2, 35, "0:00 left, job 33:00:00"},  // a long Guttman job
        {30'000'000, 100'000'000, 3, 3, "0:03 left"},           // the last pass
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TimeLeftText(c.remaining, c.passStartFree, c.pass, c.passes, kRate), c.text)
            << "pass " << c.pass << " of " << c.passes;
    }
}

} // namespace
} // namespace klar::cli
