#pragma once

#include "job_state.h"
#include "job_view.h"
#include "platform.h"
#include "random_source.h"

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
    Engine(JobState& state, Platform& platform, JobView& view, RandomSource& random,
           EngineLimits limits = {});

    /// Runs a whole job with the checked method; returns at once while one runs.
    void Command5_Click();
    /// Asks the running job (or, if none runs, the next one) to stop.
    void btnAbort_Click();

    void SweepSingle();
    void SweepNSA();
    void SweepCanadian();
    void SweepGuttman();
    void SweepUK();

    /// True if path names an existing file or folder.
    [[nodiscard]] bool FileExists(const std::string& path);
    /// Appends the whole block to the filler file; false if any of it could not be written.
    [[nodiscard]] bool WriteBlock(PassFile& file, const std::vector<std::uint8_t>& block);
    /// The free bytes of the volume holding root; total receives its size. A failure ends
    /// the pass.
    std::uint64_t GetDriveSpace(const std::string& root, std::uint64_t& total);
    /// The same, asked through the open filler file on that volume (cheaper per block).
    std::uint64_t GetDriveSpace(const PassFile& file, const std::string& root,
                                std::uint64_t& total);

private:
    enum class PassEnd { Done, Refused };
    enum class BlockLoopEnd { FileFull, WriteFailed, Abort };

    void RunPassEngine();
    PassEnd RunPass(int pass);
    void PassStart(int pass, const std::string& driveText);
    void FirstNumberSearch();
    void FileStart();
    BlockLoopEnd BlockLoop();
    void TailFill();
    void AbortPass();
    void PassFilesEnd();
    bool FinishJob(int pass);

    // What a plain fill misses (small_file_stage.cpp).
    void SmallFileStage();
    void SmallFileRefused(const PassFile& file);
    void NoteUnreachedSpace(const HeldBack& heldBack);

    void BuildBlock(std::size_t length);
    void ClassifyFailedWrite(const PassFile& file, std::uint64_t freeAfter);
    void NoteFailure(const std::string& cause);
    void FlushAndClose(PassFile& file);
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
    std::vector<std::uint8_t> block_;
    std::string passCaption_;
    std::string remainingText_;
    OsStatus lastWrite_;
    std::optional<std::string> failure_; ///< first cause of a pass that did not end well
};

} // namespace klar
