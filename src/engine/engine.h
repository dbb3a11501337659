#pragma once

#include "engine/filler_files.h"
#include "engine/held_back_lift.h"
#include "engine/job_outcome.h"
#include "engine/job_state.h"
#include "engine/job_view.h"
#include "engine/journal.h"
#include "engine/random_source.h"
#include "platform/aligned_buffer.h"
#include "platform/platform.h"
#include "platform/state_folder.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace klar {

/// Which passes read their fillers back from the medium before deleting them.
enum class VerifyPasses { None, Last, All };

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
    /// Whether the end of a job hands the cleared space back to the device (on unless a
    /// caller says otherwise).
    void SetTrim(bool trim) { trim_ = trim; }
    /// Whether passes read their fillers back and compare every byte (off unless asked).
    void SetVerify(VerifyPasses passes) { verify_ = passes; }

private:
    enum class PassEnd { Done, Refused };

    void SweepSingle();
    void SweepNSA();
    void SweepCanadian();
    void SweepGuttman();
    void SweepUK();

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
    BlockLoopEnd BlockLoop();
    [[nodiscard]] std::size_t TransferBlocks(const PassFile& file) const;
    [[nodiscard]] std::optional<BlockLoopEnd> AfterGoodBlock(PassFile& file,
                                                             std::uint64_t freeBytes);
    void TailFill();
    void AbortPass();
    void PassFilesEnd();
    /// Deletes the fillers from firstHeldFile on, which took what the filesystem held back,
    /// and gives that back.
    void GiveBackHeldSpace(std::size_t firstHeldFile, HeldBackLift& heldBack);
    bool FinishJob(int pass);
    /// Hands the cleared space to the device where it can take it: the fillers before they
    /// go, or the free space once they are gone.
    void TrimFillers();
    void TrimFreeSpace();
    // Read-back (read_back.cpp).
    /// Bytes of a filler that the kept-space stage freed and could not write again: free
    /// space holding the fill's byte, and nothing to read back.
    struct FillerHole {
        const PassFile* file = nullptr;
        std::uint64_t offset = 0;
        std::uint64_t length = 0;
    };
    [[nodiscard]] bool Verifies(int pass) const;
    /// Reads the pass's fillers from the first'th on back from the medium and compares every
    /// byte with the pass's, adding to the pass's read-back; the view follows it when shown.
    void ReadBack(int pass, std::size_t first, bool shown);
    /// Reads one filler back into report; false when the pass's read-back must stop.
    bool ReadBackFile(PassFile& file, VerifyReport& report, std::uint64_t& done, bool shown);
    /// The same for the filler's bytes from offset up to end.
    bool ReadBackRange(PassFile& file, std::uint64_t offset, std::uint64_t end,
                       VerifyReport& report, std::uint64_t& done, bool shown);
    /// The filler's bytes that the read-back skips: holes the kept-space stage left.
    [[nodiscard]] std::vector<FillerHole> HolesIn(const PassFile& file) const;
    /// Ends a job that never began a pass, with its message.
    PassEnd Refuse(std::string cause);

    // What a plain fill misses (small_file_stage.cpp).
    /// The small-file stage on a volume the fill left full, and then what stayed out of reach.
    void SmallFileStage(const HeldBack& heldBack);
    void FullVolumeStage(const RecordSpace& records);
    void MetadataFill(bool flushJournal);
    void RecordTableStage(std::uint64_t tableRecords);
    void SmallFileRefused(const PassFile& file);
    void NoteHeldBack(const HeldBack& heldBack);

    // Free space the filesystem keeps for its own use (kept_space_stage.cpp).
    /// Written bytes of a filler of the pass, and where they lie.
    struct FillPiece {
        PassFile* file = nullptr;
        FillerExtent extent;
    };
    /// On a full volume whose filesystem keeps free space for its own use and says where, moves
    /// that free space onto blocks the fill has written, group by group, so that the fill's
    /// byte reaches the blocks it kept.
    void KeptSpaceStage();
    /// How far a group's free space moved onto the fill, worst last (a round keeps the
    /// worst): all of it; short of it, for want of room; or not, and the stage stops (Abort,
    /// a failed write).
    enum class Moved { All, Short, Stop };
    /// Frees bytes of fill in one group, as many as the group has free, and writes them again.
    Moved MoveKeptSpace(std::uint64_t group, const std::vector<DeviceRange>& free,
                        const KeptSpace& kept, const std::vector<FillPiece>& pieces);
    /// The free bytes the filesystem lists that may still hold what they held before the job:
    /// outside every range the stage freed from written fill.
    [[nodiscard]] std::uint64_t KeptSpaceLeft(const KeptSpace& kept) const;
    /// The fill's last write was refused for room on a volume that keeps free space for its
    /// own use and says where: full in its own terms, whatever free space it reports.
    [[nodiscard]] bool KeepsWhatItRefused();
    void NoteUnreachedSpace(const HeldBack& heldBack);

    void BuildBlock(std::size_t length);
    void ClassifyFailedWrite(const PassFile& file, std::uint64_t freeAfter);
    [[nodiscard]] std::string RefusalCause(const PassFile& file) const;

    // Full means full: the free space after the tail fill, on the volume the job began on.
    void JudgeFill();
    [[nodiscard]] std::uint64_t FreeAfterSettling(PassFile& file);
    [[nodiscard]] bool StopRequested();
    void ShowRemaining(std::uint64_t freeBytes);

    JobState& state_;
    Platform& platform_;
    JobView& view_;
    RandomSource& random_;
    EngineLimits limits_;

    // Working values of the running pass.
    std::string root_;
    std::string driveName_;
    std::uint8_t patternByte_ = 0;
    AlignedBuffer buffer_;        ///< the pass's byte; allocated once per job
    std::size_t blockLength_ = 0; ///< the block: the first blockLength_ bytes of buffer_
    bool singleBlocks_ = false;   ///< a transfer was refused for room: one block at a time
    std::string passCaption_;
    float passProgress_ = 0.0f; ///< the bar's value in this pass so far
    std::string remainingText_;
    JobProgress progress_;
    JobOutcome outcome_;
    PassReport* report_ = nullptr; ///< the running pass's, in outcome_
    bool trim_ = true;
    VerifyPasses verify_ = VerifyPasses::None;
    AlignedBuffer readBuffer_;  ///< where the read-back lands; allocated when a pass verifies
    bool readBackWhole_ = true; ///< every part of the pass's read-back so far read to its end
    /// Device ranges of the pass's fill that the kept-space stage freed: their blocks hold
    /// the pass's byte whether free or taken again.
    std::vector<DeviceRange> reached_;
    std::vector<FillerHole> holes_; ///< the pass's, in the order they were left
    OsStatus lastWrite_;
    JobFailures failures_;

    std::string journalFolder_;
    std::optional<JobJournal> journal_;
    std::optional<FillerFiles> fillers_; ///< the running job's, over its journal
};

} // namespace klar
