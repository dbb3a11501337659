// The pass schedules of the six methods: their bytes and pass counts, the random passes, and the
// schedule a job with no method box checked runs again.
#include "job_rig.h"

#include <cmath>
#include <gtest/gtest.h>
#include <set>

namespace klar::test {
namespace {

/// A generator whose values the test chooses; counts how often the job seeds and draws.
class ScriptedRandom final : public RandomSource {
public:
    explicit ScriptedRandom(std::vector<double> values) : values_(std::move(values)) {}
    void reseedFromClock() override { events.emplace_back("seed"); }
    double next() override {
        events.emplace_back("draw");
        return values_[static_cast<std::size_t>(draws++) % values_.size()];
    }
    [[nodiscard]] long reseeds() const {
        return static_cast<long>(std::count(events.begin(), events.end(), std::string("seed")));
    }

    long draws = 0;
    std::vector<std::string> events;

private:
    std::vector<double> values_;
};

const double kJustBelowOne = std::nextafter(1.0, 0.0);

// The fixed bytes of each method, written out here on their own rather than taken from the
// engine's tables, so that a wrong table fails.
const std::vector<int> kDod = {53, 202, 151};
const std::vector<int> kNsa = {0, 255, 0, 255, 0, 255, 0};
const std::vector<int> kGuttmanFixed = {85, 170, 102, 153, 204, 51,  1,   2,  4,
                                        8,  16,  32,  64,  128, 0,   129, 66, 36,
                                        24, 36,  66,  129, 0,   255, 0,   85, 170};

struct Method {
    const char* name;
    std::set<MethodBox> boxes; ///< empty: no box checked
    int passes;
    std::vector<int> fixed; ///< passes 1 to fixed.size(); the passes after them are random
};

const std::vector<Method> kMethods = {
    {"Single", {MethodBox::Single}, 1, {0}},
    {"Dod", {MethodBox::DOD}, 3, kDod},
    {"NoBoxAfterStartUp", {}, 3, kDod},
    {"Nsa", {MethodBox::NSA}, 7, kNsa},
    {"Canadian", {MethodBox::Canada}, 8, kNsa},
    {"Guttman", {MethodBox::Guttman}, 35, kGuttmanFixed},
    {"Uk", {MethodBox::UK}, 38, kGuttmanFixed},
};

void PrintTo(const Method& method, std::ostream* out) {
    *out << method.name;
}

/// The byte of a random pass drawn from r: the integer part of r * 255.
int ByteOf(double r) {
    return static_cast<int>(std::floor(r * 255.0));
}

class EachMethod : public ::testing::TestWithParam<Method> {};

// With a blank drive text the job stores its schedule and is then refused at the first pass
// start, so the stored schedule can be read without any disk work.
TEST_P(EachMethod, StoresItsBytesAndPassCountBeforeTheBlankDriveRefusal) {
    const Method& method = GetParam();
    // Values whose products with 255 are exact, so the expected bytes below are exact too.
    std::vector<double> values;
    for (int i = 0; i < 11; ++i) {
        values.push_back((i + 3) / 16.0);
    }
    ScriptedRandom random(values);
    JobRig rig("", {}, &random);
    // Earlier jobs left something in every slot; a method must leave the slots it does not use.
    for (auto& slot : rig.state.gPattern) {
        slot = 7;
    }
    StoreDodSchedule(rig.state);
    rig.view.checked = method.boxes;

    rig.engine.Command5_Click();

    ASSERT_EQ(rig.view.messages, std::vector<std::string>{"You must select a drive letter"});
    EXPECT_EQ(rig.state.gPassCount, method.passes);
    EXPECT_EQ(rig.view.captions[Caption::Label8], "Pass: 1 of " + std::to_string(method.passes));
    const std::size_t fixed = method.fixed.size();
    for (std::size_t slot = 1; slot <= fixed; ++slot) {
        ASSERT_TRUE(rig.state.gPattern[slot].has_value()) << "slot " << slot;
        EXPECT_EQ(*rig.state.gPattern[slot], method.fixed[slot - 1]) << "slot " << slot;
    }
    const long randomPasses = method.passes - static_cast<long>(fixed);
    for (std::size_t slot = fixed + 1; slot <= static_cast<std::size_t>(method.passes); ++slot) {
        ASSERT_TRUE(rig.state.gPattern[slot].has_value()) << "slot " << slot;
        EXPECT_EQ(*rig.state.gPattern[slot], ByteOf(values[slot - fixed - 1])) << "slot " << slot;
    }
    // Slot 0 is never used; slots past the schedule keep what the earlier job left (the DOD
    // bytes in 1 to 3 for the single sweep, 7 elsewhere).
    EXPECT_EQ(rig.state.gPattern[0], 7);
    for (std::size_t slot = static_cast<std::size_t>(method.passes) + 1; slot < kPatternSlots;
         ++slot) {
        const int before = slot <= 3 ? kDod[slot - 1] : 7;
        EXPECT_EQ(rig.state.gPattern[slot], before) << "slot " << slot;
    }
    EXPECT_EQ(random.draws, randomPasses);
    EXPECT_EQ(random.reseeds(), randomPasses > 0 ? 1 : 0)
        << "a job with random passes reseeds once";
    if (randomPasses > 0) {
        EXPECT_EQ(random.events.front(), "seed") << "the reseed comes before the draws";
    }
    EXPECT_EQ(rig.platform.creates, 0);
    EXPECT_EQ(rig.platform.spaceQueries, 0);
    EXPECT_FALSE(rig.state.gJobRunning);
}

INSTANTIATE_TEST_SUITE_P(Methods, EachMethod, ::testing::ValuesIn(kMethods),
                         [](const auto& method) { return std::string(method.param.name); });

// ---- Random pattern bytes

TEST(RandomPatternByte, IsTheIntegerPartOfRTimes255) {
    struct Case {
        double r;
        int byte;
    };
    // 0.5 gives 127.5: cut to 127, not rounded to 128; 0.996 gives 253.98: 253.
    for (const Case c : {Case{0.0, 0}, Case{0.5, 127}, Case{0.996, 253}, Case{0.25, 63},
                         Case{kJustBelowOne, 254}}) {
        ScriptedRandom random({c.r});
        EXPECT_EQ(RandomPatternByte(random), c.byte) << "r = " << c.r;
    }
}

TEST(RandomPatternByte, ClockSeededBytesCoverZeroTo254AndNever255) {
    ClockSeededRandom random;
    random.reseedFromClock();
    std::set<int> seen;
    for (int i = 0; i < 200'000; ++i) {
        seen.insert(RandomPatternByte(random));
    }
    EXPECT_EQ(seen.count(255), 0u);
    EXPECT_EQ(seen.size(), 255u) << "every byte from 0 to 254 should turn up";
}

TEST(RandomPasses, LargestRBelowOneStillGives254InEveryRandomSlot) {
    for (const MethodBox box : {MethodBox::Canada, MethodBox::Guttman, MethodBox::UK}) {
        ScriptedRandom random({kJustBelowOne});
        JobRig rig("", {}, &random);
        rig.view.check(box);
        rig.engine.Command5_Click();
        const int first = box == MethodBox::Canada ? 8 : 28;
        ASSERT_GT(random.draws, 0);
        for (int slot = first; slot <= rig.state.gPassCount; ++slot) {
            EXPECT_EQ(rig.state.gPattern[static_cast<std::size_t>(slot)], 254) << "slot " << slot;
        }
    }
}

TEST(RandomPasses, EveryJobReseedsAndDrawsItsOwnBytes) {
    std::vector<double> values;
    for (int i = 0; i < 22; ++i) {
        values.push_back(i / 32.0);
    }
    ScriptedRandom random(values);
    JobRig rig("", {}, &random);
    rig.view.check(MethodBox::UK);
    rig.engine.Command5_Click();
    rig.engine.Command5_Click();

    EXPECT_EQ(random.reseeds(), 2);
    EXPECT_EQ(random.draws, 22);
    for (std::size_t slot = 28; slot <= 38; ++slot) {
        EXPECT_EQ(rig.state.gPattern[slot], ByteOf(values[slot - 28 + 11])) << "slot " << slot;
    }
}

TEST(RandomPasses, TwoClockSeededJobsDrawDifferentBytes) {
    JobRig rig("");
    rig.view.check(MethodBox::UK);
    rig.engine.Command5_Click();
    const auto first = rig.state.gPattern;
    rig.engine.Command5_Click();
    // Eleven bytes alike by chance: about one in 255^11.
    EXPECT_FALSE(std::equal(first.begin() + 28, first.end(), rig.state.gPattern.begin() + 28));
}

// ---- The schedule left by the previous job

TEST(LeftoverSchedule, NoBoxAfterARandomMethodRerunsItsScheduleWithoutDrawing) {
    for (const MethodBox box : {MethodBox::Canada, MethodBox::Guttman, MethodBox::UK}) {
        ScriptedRandom random({0.1, 0.7, 0.3});
        JobRig rig("", {}, &random);
        rig.view.check(box);
        rig.engine.Command5_Click();
        const auto schedule = rig.state.gPattern;
        const int passes = rig.state.gPassCount;
        const long draws = random.draws;

        rig.view.uncheckAll();
        rig.engine.Command5_Click();

        EXPECT_EQ(random.draws, draws);
        EXPECT_EQ(random.reseeds(), 1);
        EXPECT_EQ(rig.state.gPattern, schedule);
        EXPECT_EQ(rig.state.gPassCount, passes);
        EXPECT_EQ(rig.view.captions[Caption::Label8], "Pass: 1 of " + std::to_string(passes));
    }
}

TEST(LeftoverSchedule, SingleSweepAfterDodWritesZerosInOnePass) {
    JobRig rig("");
    rig.view.check(MethodBox::DOD);
    rig.engine.Command5_Click();
    rig.view.check(MethodBox::Single);
    rig.engine.Command5_Click();
    EXPECT_EQ(rig.state.gPassCount, 1);
    EXPECT_EQ(rig.state.gPattern[1], 0);
    EXPECT_EQ(rig.state.gPattern[2], 202) << "the single sweep neither uses nor clears slot 2";
}

// ---- The bytes that reach the disk

/// Runs a job on a small tmpfs and collects, for every pass, the byte values found in its
/// filler files after each good block.
struct PassBytes {
    std::map<int, std::set<std::uint8_t>> values;
    std::map<int, std::uint64_t> mostBytes;
};

PassBytes WatchPassBytes(JobRig& rig, const std::string& root) {
    PassBytes seen;
    std::size_t captionsSeen = 0;
    rig.view.onYield = [&] {
        // Look once per good block, right after Label2 was written.
        const auto& log = rig.view.captionLog;
        if (log.size() == captionsSeen || log.back().rfind("Pass [", 0) != 0) {
            return;
        }
        captionsSeen = log.size();
        const int pass = PassShown(rig.view);
        std::uint64_t bytes = 0;
        for (const auto& [name, content] : ReadFillers(root)) {
            if (!content.empty() && AllBytesAre(content, content[0])) {
                seen.values[pass].insert(content[0]);
            } else {
                seen.values[pass].insert(content.begin(), content.end());
            }
            bytes += content.size();
        }
        seen.mostBytes[pass] = std::max(seen.mostBytes[pass], bytes);
    };
    rig.engine.Command5_Click();
    rig.view.onYield = nullptr;
    return seen;
}

constexpr std::uint64_t kSmallVolume = 64u << 10;
const EngineLimits kSmallBlocks{4096, 2'147'418'112};

TEST_P(EachMethod, WritesEachPassWithItsOwnByteOnDisk) {
    const Method& method = GetParam();
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kSmallVolume);
    std::vector<double> values;
    for (int i = 0; i < 11; ++i) {
        values.push_back((2 * i + 1) / 32.0);
    }
    ScriptedRandom random(values);
    JobRig rig(volume->driveText(), kSmallBlocks, &random);
    rig.view.checked = method.boxes;

    const PassBytes seen = WatchPassBytes(rig, volume->root());

    ASSERT_EQ(rig.view.messages, std::vector<std::string>{ClearedMessage(volume->driveName())});
    ASSERT_EQ(seen.values.size(), static_cast<std::size_t>(method.passes));
    for (int pass = 1; pass <= method.passes; ++pass) {
        const auto index = static_cast<std::size_t>(pass - 1);
        const int expected = index < method.fixed.size()
                                 ? method.fixed[index]
                                 : ByteOf(values[index - method.fixed.size()]);
        EXPECT_EQ(seen.values.at(pass), std::set<std::uint8_t>{static_cast<std::uint8_t>(expected)})
            << "pass " << pass;
        EXPECT_GT(seen.mostBytes.at(pass), kSmallVolume / 2) << "pass " << pass;
        EXPECT_TRUE(rig.view.logged("Pass: " + std::to_string(pass) + " of " +
                                    std::to_string(method.passes)));
    }
    EXPECT_TRUE(ListFolder(volume->root()).empty());
}

TEST(LeftoverSchedule, NoBoxAfterCanadianWritesTheSameDrawnByteInPassEight) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, kSmallVolume);
    ScriptedRandom random({0.5, 0.9});
    JobRig rig(volume->driveText(), kSmallBlocks, &random);
    rig.view.check(MethodBox::Canada);
    const PassBytes first = WatchPassBytes(rig, volume->root());
    rig.view.uncheckAll();
    const PassBytes second = WatchPassBytes(rig, volume->root());

    EXPECT_EQ(first.values.at(8), std::set<std::uint8_t>{127});
    ASSERT_EQ(second.values.size(), 8u);
    EXPECT_EQ(second.values.at(8), std::set<std::uint8_t>{127}) << "no new byte drawn";
    EXPECT_EQ(random.draws, 1);
    EXPECT_EQ(rig.view.messages.size(), 2u);
}

} // namespace
} // namespace klar::test
