#pragma once

#include "engine/job_state.h"
#include "engine/journal.h"
#include "platform/platform.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace klar {

/// What kept a job from clearing its drive: the first cause, and the fillers it could not
/// delete.
class JobFailures {
public:
    /// Keeps the first cause only: later ones mostly follow from it.
    void Note(const std::string& cause);
    /// A filler stays on the drive; it is named, with its size, in the job's message.
    void NoteLeftBehind(const PassFile& file, const std::string& cause);

    [[nodiscard]] const std::optional<std::string>& first() const { return first_; }
    [[nodiscard]] const std::vector<std::string>& leftBehind() const { return leftBehind_; }

private:
    std::optional<std::string> first_;
    std::vector<std::string> leftBehind_;
};

/// The filler files of a job, pass by pass: it numbers them, lists each in the journal before
/// it exists, makes sure each is in the folder and on the volume the job began with, and
/// flushes, empties and deletes only files it created. A refusal that must end the pass (the
/// folder gone or replaced, a journal that cannot be written) is thrown as a PassFailure.
class FillerFiles {
public:
    FillerFiles(Platform& platform, JobJournal& journal, std::vector<PassFile>& files,
                JobFailures& failures);

    /// The folder root that driveText names, as first seen; a later pass on the same drive
    /// text checks that it is still that folder.
    void RecordFolder(const std::string& driveText, const std::string& root);
    /// Ends the pass when the folder was renamed, removed or replaced, or its volume unmounted.
    void VerifyFolder() const;
    /// Numbers the pass's fillers (of byte fill) from the first number not taken in the folder.
    void FirstNumberSearch(std::uint8_t fill);
    /// Creates the next free filler exclusively: a number taken since the search is skipped,
    /// so no file of the user's is ever opened. False, with `status` saying why, when the
    /// volume refuses it.
    bool Create(PassFile& file, bool flushJournal, OsStatus& status);

    /// Forces a filler's data to the medium, once.
    void Flush(PassFile& file);
    /// Flushed, then emptied through the handle that wrote it, so its space comes back even if
    /// it was renamed or linked elsewhere; the handle stays open until the file is deleted.
    void Release(PassFile& file);
    /// Released and deleted, if it is still the file that was created; then closed.
    void Delete(PassFile& file);
    /// Hands every filler's data, once on the medium, to the device; the bytes it took.
    std::uint64_t Trim();
    /// Deletes the pass's fillers from the first'th on and drops them from the list.
    void DeleteFrom(std::size_t first);
    /// Puts the journal's records on the medium (after creates that did not flush it).
    void FlushJournal();
    /// Fillers created so far in this job.
    [[nodiscard]] std::uint64_t made() const { return made_; }

private:
    [[nodiscard]] bool FileExists(const std::string& path) const;
    [[nodiscard]] std::string NumberText() const;

    Platform& platform_;
    JobJournal& journal_;
    std::vector<PassFile>& files_;
    JobFailures& failures_;

    std::string driveText_; ///< the drive text the folder was recorded for
    std::string root_;
    FolderId folder_;
    std::int64_t number_ = 0; ///< the number of the filler made last
    std::uint8_t fill_ = 0;
    std::uint64_t made_ = 0;
};

/// Empties, closes and deletes the filler files of the running pass at once, for a process
/// that must end now from below a running job (an exit that will not return to it). Deletes
/// only files that are still ours, as the pass end does.
void DeletePassFilesNow(JobState& state, Platform& platform);

} // namespace klar
