#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace klar {

/// What reading a pass's fillers back from the medium found.
struct VerifyReport {
    std::uint64_t bytes = 0;      ///< read back and compared with the pass's byte
    std::uint64_t wrongBytes = 0; ///< of those, not the pass's byte
    std::string firstWrongFile;   ///< the filler holding the first wrong byte; empty when none
    std::uint64_t firstWrongOffset = 0;
    std::string error;     ///< why a read failed, in the system's words; empty when none did
    bool complete = false; ///< every filler was read to its end (not stopped or failed)
    double seconds = 0;

    [[nodiscard]] bool passed() const { return complete && wrongBytes == 0 && error.empty(); }
};

/// What one pass did, for the job's record.
struct PassReport {
    int pass = 0;
    std::uint8_t byte = 0;        ///< the byte its fillers repeat
    std::uint64_t bytes = 0;      ///< written into its fillers
    std::uint64_t files = 0;      ///< fillers it created, the small-file stage's included
    std::uint64_t smallFiles = 0; ///< of those, the small-file stage's
    double seconds = 0;           ///< from its start to its last filler deleted
    double smallFileSeconds = 0;  ///< of those, the small-file stage's (for benches)
    bool heldBackLifted = false;  ///< it lifted space the filesystem holds back (and gave it back)
    std::optional<VerifyReport> verify; ///< its read-back, where the job asked for one
};

/// What the end of the job handed back to the device.
struct TrimReport {
    enum class Way { None, FreeSpace, Fillers };
    Way way = Way::None;     ///< None: the volume or device cannot take it back
    std::uint64_t bytes = 0; ///< as the system counted them
};

/// How a job ended, as the engine recorded it; every front end's final words come from it.
struct JobOutcome {
    enum class Kind {
        Cleared,    ///< every pass filled the drive and removed its fillers
        NotCleared, ///< the job ran, but something stayed out of reach (cause)
        Aborted,    ///< Abort or a request to end the process stopped it
        Refused,    ///< no pass began: no drive was given, or nothing could be made safely
    };

    JobOutcome() = default;
    JobOutcome(Kind kind_, std::string drive_, std::string cause_ = {})
        : kind(kind_), drive(std::move(drive_)), cause(std::move(cause_)) {}

    Kind kind = Kind::Refused;
    /// The drive as the messages name it ("C:", "/mnt/usb"); empty when none was given.
    std::string drive;
    /// The first cause that kept the drive from being cleared, in a few words.
    std::string cause;
    /// Fillers that could not be deleted, each with its size ("…/00000001.txt (65536 bytes)").
    std::vector<std::string> leftBehind;
    /// The drive's capacity and free bytes when the first pass began (0 when none began).
    std::uint64_t capacity = 0;
    std::uint64_t startFree = 0;
    /// The passes that began, in order.
    std::vector<PassReport> passes;
    /// What was handed back to the device after the last pass; nothing when the job was not
    /// asked to, or did not reach the end of its last pass.
    std::optional<TrimReport> trim;

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
