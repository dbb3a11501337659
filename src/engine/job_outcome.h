#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace klar {

/// How a job ended, as the engine recorded it; every front end's final words come from it.
struct JobOutcome {
    enum class Kind {
        Cleared,    ///< every pass filled the drive and removed its fillers
        NotCleared, ///< the job ran, but something stayed out of reach (cause)
        Aborted,    ///< Abort or a request to end the process stopped it
        Refused,    ///< no pass began: no drive was given, or nothing could be made safely
    };

    Kind kind = Kind::Refused;
    /// The drive as the messages name it ("C:", "/mnt/usb"); empty when none was given.
    std::string drive;
    /// The first cause that kept the drive from being cleared, in a few words.
    std::string cause;
    /// Fillers that could not be deleted, each with its size ("…/00000001.txt (65536 bytes)").
    std::vector<std::string> leftBehind;

    [[nodiscard]] bool cleared() const { return kind == Kind::Cleared; }
};

/// The numbers behind the job's captions, as they change.
struct JobProgress {
    int pass = 0;                ///< the running pass, from 1
    int passes = 0;              ///< passes of the method
    std::uint64_t free = 0;      ///< free bytes of the drive now
    std::uint64_t total = 0;     ///< the drive's capacity
    std::uint64_t startFree = 0; ///< free bytes when this pass began
};

/// The text a job's end shows: "Disk (X) cleared.", "Disk (X) was not fully cleared: …",
/// "You must select a drive letter"; empty for an aborted job, which ends without one.
[[nodiscard]] std::string OutcomeMessage(const JobOutcome& outcome);

} // namespace klar
