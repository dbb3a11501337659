#pragma once

#include "aligned_buffer.h"
#include "job_outcome.h"
#include "job_state.h"
#include "job_view.h"
#include "journal.h"
#include "platform.h"
#include "random_source.h"
#include "state_folder.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace klar {

/// Holds what the platform lifted of the space a filesystem holds back, and gives it back on
/// every way out of the pass that lifted it.
class HeldBackLift {
public:
    explicit HeldBackLift(Platform& platform);
    ~HeldBackLift();
    HeldBackLift(const HeldBackLift&) = delete;
    HeldBackLift& operator=(const HeldBackLift&) = delete;

    /// Lifts what the volume holding root holds back, where this process may.
    const HeldBack& lift(const std::string& root);
    [[nodiscard]] const HeldBack& held() const { return heldBack_; }
    /// Gives back what was lifted; nothing when nothing was.
    void restore();

private:
    Platform& platform_;
    HeldBack heldBack_;
};

/// The clearing job: the Clear Drive and Abort handlers, the six methods and the pass engine
/// that fills a drive's free space with filler files, flushes and deletes them, pass by pass.
class Engine {
public:
    /// The job's journal of filler files goes into journalFolder (the user's state folder).
    Engine(JobState& state, Platform& platform, JobView& view, RandomSource& random,
           EngineLimits limits = {}, std::string journalFolder = StateFolder());

    /// Runs a whole job with the checked method and shows how it ended; returns at once
    /// while one runs. The window's click handler.
    void Command5_Click();
    /// The same job for callers that act on how it ended (the command line, tests, benches).
    /// A call while a job runs is refused at once.
    JobOutcome Run();
    /// Asks the running job (or, if none runs, the next one) to stop.
    void btnAbort_Click();

private:
    enum class PassEnd { Done, Refused };

    void SweepSingle();
    void SweepNSA();
    void SweepCanadian();
    void SweepGuttman();
    void SweepUK();

    /// True if path names an existing file or folder.
    [[nodiscard]] bool FileExists(const std::string& path);
    /// Appends the whole run of block bytes (one block, several for a transfer past the
    /// cache, or a tail block) to the filler file; false if any of it could not be written.
    [[nodiscard]] bool WriteBlock(PassFile& file, std::size_t length);
    /// The free bytes of the volume holding root; total receives its size. A failure ends
    /// the pass.
    std::uint64_t GetDriveSpace(const std::string& root, std::uint64_t& total);
    /// The same, asked through the open filler file on that volume (cheaper per block).
    std::uint64_t GetDriveSpace(const PassFile& file, const std::string& root,
                                std::uint64_t& total);

    enum class BlockLoopEnd { FileFull, WriteFailed, Abort };

    void RunPassEngine();
    PassEnd RunPass(int pass);
    void PassStart(int pass, const std::string& driveText);
    void FirstNumberSearch();
    void FileStart();
    /// Creates the next free filler, journaled before it is created and once it is; false
    /// (lastWrite_ says why) when the volume refuses it.
    bool CreateFiller(PassFile& file, bool flushJournal);
    void Journaled(const OsStatus& status);
    BlockLoopEnd BlockLoop();
    [[nodiscard]] std::size_t TransferBlocks(const PassFile& file) const;
    [[nodiscard]] std::optional<BlockLoopEnd> AfterGoodBlock(PassFile& file,
                                                             std::uint64_t freeBytes);
    void TailFill();
    void AbortPass();
    void PassFilesEnd();
    void DeletePassFile(PassFile& file);
    /// Deletes the fillers from firstHeldFile on, which took what the filesystem held back,
    /// and gives that back.
    void GiveBackHeldSpace(std::size_t firstHeldFile, HeldBackLift& heldBack);
    bool FinishJob(int pass);
    /// Ends a job that never began a pass, with its message.
    PassEnd Refuse(std::string cause);

    // What a plain fill misses (small_file_stage.cpp).
    /// The small-file stage on a volume the fill left full, and then what stayed out of reach.
    void SmallFileStage(const HeldBack& heldBack);
    void FullVolumeStage(const RecordSpace& records);
    void RecordTableStage(std::uint64_t tableRecords);
    void SmallFileRefused(const PassFile& file);
    void NoteHeldBack(const HeldBack& heldBack);
    void NoteUnreachedSpace(const HeldBack& heldBack);

    void BuildBlock(std::size_t length);
    void ClassifyFailedWrite(const PassFile& file, std::uint64_t freeAfter);
    [[nodiscard]] std::string RefusalCause(const PassFile& file) const;
    void NoteFailure(const std::string& cause);
    void FlushFile(PassFile& file);
    void ReleaseFile(PassFile& file);
    void NoteLeftBehind(const PassFile& file, const std::string& cause);

    // Full means full: the volume, the folder and the free space after the tail fill.
    void RecordFolder(const std::string& driveText);
    void VerifyFolder();
    void VerifyFiller(const PassFile& file);
    void JudgeFill();
    [[nodiscard]] std::uint64_t FreeAfterSettling(PassFile& file);
    [[nodiscard]] bool StopRequested();
    void ShowRemaining(std::uint64_t freeBytes);
    [[nodiscard]] std::string NumberText() const;

    JobState& state_;
    Platform& platform_;
    JobView& view_;
    RandomSource& random_;
    EngineLimits limits_;

    // Working values of the running pass.
    std::string root_;
    std::string driveName_;
    std::int64_t fileNumber_ = 0;
    std::uint8_t patternByte_ = 0;
    AlignedBuffer buffer_;        ///< the pass's byte; allocated once per job
    std::size_t blockLength_ = 0; ///< the block: the first blockLength_ bytes of buffer_
    bool singleBlocks_ = false;   ///< a transfer was refused for room: one block at a time
    std::string passCaption_;
    float passProgress_ = 0.0f; ///< the bar's value in this pass so far
    std::string remainingText_;
    JobProgress progress_;
    JobOutcome outcome_;
    OsStatus lastWrite_;
    std::optional<std::string> failure_;  ///< first cause of a pass that did not end well
    std::vector<std::string> leftBehind_; ///< fillers that could not be deleted, with sizes

    // The folder the job fills and its volume, as first seen for the drive text.
    std::string folderDriveText_;
    FolderId folder_;

    std::string journalFolder_;
    std::optional<JobJournal> journal_;
};

/// Empties, closes and deletes the filler files of the running pass at once, for a process
/// that must end now from below a running job (an exit that will not return to it). Deletes
/// only files that are still ours, as the pass end does.
void DeletePassFilesNow(JobState& state, Platform& platform);

} // namespace klar
