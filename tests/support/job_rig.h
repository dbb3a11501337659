#pragma once

#include "engine/engine.h"
#include "faulty_platform.h"
#include "recording_view.h"
#include "temp_folder.h"
#include "test_volume.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace klar::test {

/// Where the jobs of tests keep their journals, away from the user's own state folder.
inline std::string TestStateFolder() {
    return (std::filesystem::temp_directory_path() / "klar-test-state").string();
}

enum class WritePath { UnderTest, Buffered, Direct };

/// The write path a test runs on: the one it names, or else the suite's: buffered, or past the
/// system's cache where the volume allows it when KLAR_TEST_WRITE_PATH=direct (ctest runs the
/// volume tests both ways).
inline EngineLimits OnPathUnderTest(EngineLimits limits, WritePath path = WritePath::UnderTest) {
    if (path == WritePath::UnderTest) {
        const char* chosen = std::getenv("KLAR_TEST_WRITE_PATH");
        path = chosen != nullptr && std::string(chosen) == "direct" ? WritePath::Direct
                                                                    : WritePath::Buffered;
    }
    limits.direct = path == WritePath::Direct;
    return limits;
}

/// xfs always takes the program's writes past the cache, and only there is each write placed
/// when it is made, which the kept-space stage needs of the fill: through the cache a fill may
/// leave a whole allocation group without a byte of it, and the stage cannot reach that group.
inline constexpr WritePath kXfsPath = WritePath::Direct;

/// One clearing job as the window would run it: the job state at its start-up values, a
/// recording window, and the system's backend behind a FaultyPlatform that passes every call
/// on until a test tells it to fail.
class JobRig {
public:
    explicit JobRig(const std::string& driveText, EngineLimits limits = {},
                    RandomSource* random = nullptr,
                    const std::string& journalFolder = TestStateFolder(),
                    WritePath path = WritePath::UnderTest)
        : engine(state, platform, view, random != nullptr ? *random : clockRandom,
                 OnPathUnderTest(limits, path), journalFolder) {
        InitJobState(state);
        view.drive = driveText;
    }

    std::unique_ptr<Platform> real = makeSystemPlatform();
    ClockSeededRandom clockRandom;
    JobState state;
    RecordingView view;
    FaultyPlatform platform{*real};
    Engine engine;
};

/// The product's words for a drive that was cleared.
inline std::string ClearedMessage(const std::string& drive) {
    return OutcomeMessage({JobOutcome::Kind::Cleared, drive});
}

/// The start of the product's words for a drive that was not fully cleared, up to the cause.
inline std::string NotClearedPrefix(const std::string& drive) {
    std::string words = OutcomeMessage({JobOutcome::Kind::NotCleared, drive});
    words.pop_back(); // the full stop after the cause
    return words;
}

/// The pass that Label8 names ("Pass: 2 of 3" gives 2); 0 before the first pass.
inline int PassShown(RecordingView& view) {
    const std::string& caption = view.captions[Caption::Label8];
    if (caption.rfind("Pass: ", 0) != 0) {
        return 0;
    }
    return std::stoi(caption.substr(6));
}

/// True for the names the engine gives its filler files: eight or more digits and ".txt".
inline bool IsFillerName(const std::string& name) {
    const auto dot = name.find('.');
    return dot != std::string::npos && dot >= 8 && name.substr(dot) == ".txt" &&
           std::all_of(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(dot),
                       [](char c) { return c >= '0' && c <= '9'; });
}

/// Contents of the filler files in folder, by name (user files left out).
inline std::map<std::string, std::vector<std::uint8_t>>
ReadFillers(const std::string& folder, const std::vector<std::string>& except = {}) {
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const auto& name : ListFolder(folder)) {
        if (IsFillerName(name) && std::find(except.begin(), except.end(), name) == except.end()) {
            files[name] = ReadWholeFile(JoinPath(folder, name));
        }
    }
    return files;
}

inline bool AllBytesAre(const std::vector<std::uint8_t>& bytes, std::uint8_t value) {
    return std::all_of(bytes.begin(), bytes.end(), [&](std::uint8_t b) { return b == value; });
}

/// Bytes the volume holding folder still offers to this process.
inline std::uint64_t AvailableBytes(const std::string& folder) {
    // Windows' standard library reports a full drive as all ones.
    const std::uintmax_t available = std::filesystem::space(folder).available;
    return available == static_cast<std::uintmax_t>(-1) ? 0 : available;
}

/// Writes a user file of varied bytes that leaves `leave` bytes free on the volume, and returns
/// its content so a test can check later that nothing of it changed.
inline std::string FillVolumeLeaving(const std::string& folder, const std::string& name,
                                     std::uint64_t leave) {
    const std::uint64_t available = AvailableBytes(folder);
    std::string content(available > leave ? available - leave : 0, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<char>('a' + i % 23);
    }
    WriteWholeFile(JoinPath(folder, name), content);
    return content;
}

inline std::string AsText(const std::vector<std::uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

} // namespace klar::test
