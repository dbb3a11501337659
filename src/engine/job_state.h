#pragma once

#include "platform/platform.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace klar {

/// Sizes that tests may shrink, and the write path they may choose; the product always runs
/// with the defaults.
struct EngineLimits {
    std::size_t blockSize = 65'536;
    std::uint64_t fileCap = 2'147'418'112; ///< bytes of full blocks per filler file
    /// Blocks handed to the system in one write where the filler bypasses the cache; a
    /// buffered filler is written one block per call.
    std::size_t transferBlocks = 64;
    /// Write past the system's cache where the filesystem allows it.
    bool direct = true;
};

/// A filler file of the current pass, in creation order.
struct PassFile {
    std::string path;
    FillerHandle handle;
    bool created = false;    ///< false when the name could not be created: nothing of ours there
    bool flushed = false;    ///< its data reached the medium (it stays open until the pass ends)
    bool released = false;   ///< cut to zero bytes through its handle at the pass end
    std::uint64_t bytes = 0; ///< bytes written into it
};

inline constexpr int kPatternSlots = 39; ///< slot p holds the byte of pass p; slot 0 unused

/// The job state shared by the job driver, the pass engine, the method procedures and the
/// window's exit rules. One object lives as long as the process; tests make fresh ones.
struct JobState {
    std::array<std::optional<std::uint8_t>, kPatternSlots> gPattern{};
    int gPassCount = 0;
    bool gJobRunning = false;
    bool gAbort = false;
    bool gExitRequested = false;

    // Working state of the running pass.
    std::vector<PassFile> gPassFiles;
    bool gDriveFull = false;
    std::uint64_t gFileBytes = 0;
    std::uint64_t gStartFree = 0;
};

/// Stores the DOD 5220.22M schedule (53, 202, 151) in slots 1 to 3 and sets its pass count.
void StoreDodSchedule(JobState& state);

/// The start values of the job state: the DOD 5220.22M schedule and every flag cleared.
void InitJobState(JobState& state);

} // namespace klar
