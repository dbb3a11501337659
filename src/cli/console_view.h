#pragma once

#include "engine/job_state.h"
#include "engine/job_view.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <nlohmann/json_fwd.hpp>
#include <string>

namespace klar::cli {

/// How the job's progress reaches the console.
enum class OutputMode {
    Terminal, ///< one line that rewrites itself
    Lines,    ///< plain lines, a few per pass
    Json,     ///< one JSON object per event, per line
};

/// "0:03 left" for the running pass at rate bytes a second, and for a job with passes still to
/// come "0:03 left, job 1:45": each of them takes about as long as this pass's whole fill.
[[nodiscard]] std::string TimeLeftText(std::uint64_t remaining, std::uint64_t passStartFree,
                                       int pass, int passes, double rate);

/// The job's view of a console: the drive and method come from the command line, captions
/// become output, a message box becomes the final message. The job calls yield several times a
/// block, so everything done there is cheap; output is written at most a few times a second.
class ConsoleView final : public JobView {
public:
    using Clock = std::chrono::steady_clock;

    ConsoleView(std::string drive, MethodBox method, OutputMode mode, const JobState& state,
                std::FILE* out, std::FILE* err);

    std::string driveText() override { return drive_; }
    bool isChecked(MethodBox box) override { return box == method_; }
    void setCaption(Caption which, const std::string& text) override;
    void setProgress(float percent) override { percent_ = percent; }
    void progressed(const JobProgress& progress) override;
    void verifyStarted(int pass, std::uint64_t bytes) override;
    void verifyProgressed(std::uint64_t bytesRead) override { verifyRead_ = bytesRead; }
    void verifyEnded(const VerifyReport& report) override;
    void setAbortVisible(bool /*visible*/) override {}
    void focusDriveList() override {}
    void focusClearButton() override {}
    void showMessage(const std::string& /*text*/) override {} // the outcome says it at Finish
    void yield() override;
    std::string administratorRoute() const override;

    /// Ends the output: the last pass's end and the final message (on stderr too when the
    /// drive was not cleared).
    void Finish(const JobOutcome& outcome);

private:
    void PassStarted();
    void PassEnded();
    void Report(Clock::time_point now);
    void VerifyReportNow(Clock::time_point now);
    void Event(const nlohmann::ordered_json& event);
    [[nodiscard]] std::uint64_t Written() const;
    [[nodiscard]] double Seconds(Clock::time_point now) const;
    void TerminalLine(Clock::time_point now, bool final);
    /// Replaces the terminal's line with this one.
    void Rewrite(std::string line);

    std::string drive_;
    MethodBox method_;
    OutputMode mode_;
    const JobState& state_;
    std::FILE* out_;
    std::FILE* err_;

    int pass_ = 0;              ///< the pass being shown; 0 before the first
    bool passOpen_ = false;     ///< its end is still to be reported
    bool passMeasured_ = false; ///< its free space at the start is known
    std::uint64_t passStartFree_ = 0;
    Clock::time_point passStart_;
    std::uint64_t remaining_ = 0; ///< free bytes, as the job last showed them
    std::string capacity_;
    float percent_ = 0.0f;

    bool verifying_ = false; ///< the pass's fillers are being read back
    std::uint64_t verifyBytes_ = 0;
    std::uint64_t verifyRead_ = 0;
    Clock::time_point verifyStart_;
    std::string verifiedText_; ///< how the pass's read-back ended, for its last line

    int yieldsUntilClock_ = 0;
    Clock::time_point nextReport_;
    std::size_t terminalWidth_ = 0; ///< length of the line now on the terminal
};

} // namespace klar::cli
