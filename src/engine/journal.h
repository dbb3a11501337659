#pragma once

#include "platform/platform.h"
#include "platform/state_folder.h"

#include <cstdint>
#include <string>
#include <vector>

namespace klar {

/// The filler files a job creates, listed in a small file outside the volume it fills (the
/// user's state folder), so that the next start can delete what a job that died left behind,
/// and nothing else. Each filler is announced before it is created and recorded with its
/// identity before it takes any data; the folder it goes into is recorded by absolute path and
/// identity.
class JobJournal {
public:
    /// The journal goes into folder (the user's state folder), written through files.
    JobJournal(StateFiles& files, std::string folder);
    /// Lets go of the journal. Unless End() let it go, it stays for the next start: a job that
    /// did not reach its end may have left fillers.
    ~JobJournal();
    JobJournal(const JobJournal&) = delete;
    JobJournal& operator=(const JobJournal&) = delete;

    /// Makes the journal, before anything is filled. Failed, with why in words, when it cannot
    /// be written: the job must then fill nothing.
    [[nodiscard]] OsStatus Open();
    [[nodiscard]] bool IsOpen() const { return file_.open(); }
    /// The job is about to create `name` in `folder` (as the job names it, made absolute here),
    /// a filler of byte `fill`. With `flush` false the record survives the process but not yet
    /// a power loss: for the many small files of one stage, which Flush() then puts on the
    /// medium before theirs.
    [[nodiscard]] OsStatus Next(const std::string& folder, const FolderId& folderId,
                                const std::string& name, std::uint8_t fill, bool flush = true);
    /// The file announced last was created with identity id.
    [[nodiscard]] OsStatus Made(const std::string& name, const FileId& id, bool flush = true);
    /// No file was created under the name announced last (it was taken, or refused).
    [[nodiscard]] OsStatus NotMade(const std::string& name);
    /// The fillers recorded next were first found out of reach at `time` (seconds since 1970):
    /// a start that finds them still out of reach 30 days later lets them go.
    [[nodiscard]] OsStatus Since(std::int64_t time);
    /// Forces every record to the medium.
    void Flush();
    /// Every filler listed so far is deleted: the journal starts over.
    void Clear();
    /// The job has ended. With nothing left behind the journal goes; otherwise it stays, so
    /// that a later start removes what is left once the volume can be reached again.
    void End(bool leftBehind);

private:
    OsStatus Write(const std::string& line, bool flush);

    StateFiles& files_;
    std::string folder_;
    std::string name_;
    HeldFile file_;
    /// The folder (as the job names it) whose record was written last since the journal
    /// (re)started; empty when none was.
    std::string folderWritten_;
    FolderId folderIdWritten_;
};

/// What the journals of dead jobs had left: filler files found and deleted, and their bytes.
struct Leftovers {
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    std::uint64_t kept = 0;           ///< fillers out of reach now, kept for a later start
    std::vector<std::string> skipped; ///< what in the state folder was passed over, and why
};

/// Replays every journal in folder whose job is gone (no process holds it any more): deletes
/// each listed filler that the platform finds still to be that very filler, keeps in a journal
/// those whose folder cannot be reached now, and lets the journal go. Only a journal of this
/// user's, that nobody else may write and of a bounded size, is read; anything else is skipped
/// and named. Journals of running jobs are left alone.
Leftovers RemoveLeftovers(Platform& platform, const std::string& folder);

/// What the user is told once after RemoveLeftovers; empty when nothing was found.
std::string LeftoversMessage(const Leftovers& leftovers);

/// What every front end does once at start, before any job: gives back what a job that died
/// left lifted on a volume, and removes the filler files its journal lists. Returns what to
/// tell the user once; empty when there is nothing to tell.
std::string CleanUpAfterDeadJobs(Platform& platform);

/// True for a filler's name: eight or more digits and ".txt".
bool IsFillerName(const std::string& name);

} // namespace klar
