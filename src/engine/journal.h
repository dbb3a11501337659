#pragma once

#include "platform.h"

#include <cstdint>
#include <string>

namespace klar {

/// The filler files a job has created, listed in a small file outside the volume it fills
/// (the user's state folder), so that the next start can delete what a job that died left
/// behind, and nothing else. Each filler is recorded, and the record flushed, before the
/// filler takes any data.
class JobJournal {
public:
    explicit JobJournal(std::string folder);
    /// Lets go of the journal. Unless End() was called first, it stays for the next start:
    /// a job that did not reach its end may have left fillers.
    ~JobJournal();
    JobJournal(const JobJournal&) = delete;
    JobJournal& operator=(const JobJournal&) = delete;

    /// Records a filler of fill byte `fill`; the journal is made on first use. False when it
    /// cannot be recorded (no state folder, say): the job then goes on without. With `flush`
    /// false the record survives the process but not yet a power loss: for the many small
    /// files of one stage, which Flush() then puts on the medium before theirs.
    bool Add(const std::string& path, const FileId& id, std::uint8_t fill, bool flush = true);
    /// Forces every record to the medium.
    void Flush();
    /// The job has ended and deleted what it could: the journal goes.
    void End();

private:
    std::string folder_;
    std::string path_;
    FillerHandle file_;
};

/// What the journals of dead jobs had left: filler files found and deleted, and their bytes.
struct Leftovers {
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
};

/// Replays every journal in folder whose job is gone (no process holds it any more): deletes
/// each listed file that is still the very filler recorded (same identity, holding nothing but
/// its fill byte), then the journal. A file that no longer matches is never touched. Journals
/// of running jobs are left alone.
Leftovers RemoveLeftovers(Platform& platform, const std::string& folder);

/// What the user is told once after RemoveLeftovers; empty when nothing was found.
std::string LeftoversMessage(const Leftovers& leftovers);

/// What every front end does once at start, before any job: gives back what a job that died
/// left lifted on a volume, and removes the filler files its journal lists. Returns what to
/// tell the user once; empty when nothing was left.
std::string CleanUpAfterDeadJobs(Platform& platform);

} // namespace klar
