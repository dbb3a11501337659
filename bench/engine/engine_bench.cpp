// Runs one single-sweep job through the engine on a folder and prints how many bytes it
// filled and how long that took, flush and delete of the filler files included.
// scripts/bench.sh runs it on fresh volumes, alternating with dd.
#include "engine/engine.h"
#include "engine/job_state.h"
#include "engine/job_view.h"
#include "engine/random_source.h"
#include "platform/platform.h"
#include "platform/posix/held_back.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

/// A window that keeps what it is told and never pumps events: the engine's own cost, alone.
/// It notes when the volume first counts as full, which splits the job's time into filling
/// and the flush and delete that follow.
class QuietView final : public klar::JobView {
public:
    QuietView(std::string folder, const klar::JobState& state)
        : folder_(std::move(folder)), state_(state) {}

    std::string driveText() override { return folder_; }
    bool isChecked(klar::MethodBox box) override { return box == klar::MethodBox::Single; }
    void setCaption(klar::Caption which, const std::string& text) override {
        captions_[static_cast<std::size_t>(which)] = text;
    }
    void setProgress(float percent) override { progress_ = percent; }
    void setAbortVisible(bool /*visible*/) override {}
    void focusDriveList() override {}
    void focusClearButton() override {}
    void showMessage(const std::string& text) override { messages_.push_back(text); }
    void yield() override {
        if (!full_ && state_.gDriveFull) {
            full_ = Clock::now();
        }
    }

    [[nodiscard]] const std::vector<std::string>& messages() const { return messages_; }
    [[nodiscard]] float progress() const { return progress_; }
    [[nodiscard]] const std::optional<Clock::time_point>& full() const { return full_; }

private:
    std::string folder_;
    const klar::JobState& state_;
    std::array<std::string, 4> captions_;
    float progress_ = 0.0f;
    std::vector<std::string> messages_;
    std::optional<Clock::time_point> full_;
};

/// Why the finished job measured nothing worth comparing; empty when it filled the volume and
/// cleared it.
std::string Spoiled(const klar::JobOutcome& outcome, const QuietView& view) {
    if (!outcome.cleared()) {
        return "the job did not end cleared: " + klar::OutcomeMessage(outcome);
    }
    if (view.progress() < 99.0f || !view.full()) {
        return "the job stopped before the volume was full";
    }
    return {};
}

/// The control file of ext4's reserved-cluster pool for the volume holding folder; empty
/// elsewhere.
std::string PoolFile(const std::string& folder) {
    const std::string file = klar::Ext4PoolFile(folder);
    return !file.empty() && ::access(file.c_str(), R_OK) == 0 ? file : std::string();
}

/// How long ext4's pool read 0 while the job ran, sampled every millisecond from beside it.
class PoolWatch {
public:
    explicit PoolWatch(std::string file) : file_(std::move(file)) {
        if (!file_.empty()) {
            thread_ = std::thread([this] { Watch(); });
        }
    }
    ~PoolWatch() { Stop(); }
    PoolWatch(const PoolWatch&) = delete;
    PoolWatch& operator=(const PoolWatch&) = delete;

    /// Seconds it read 0, once stopped.
    double Stop() {
        done_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        return zero_.count();
    }

private:
    void Watch() {
        bool zero = false;
        Clock::time_point since = Clock::now();
        while (!done_) {
            std::ifstream in(file_);
            std::string value;
            in >> value;
            const auto now = Clock::now();
            if (value == "0" && !zero) {
                zero = true;
                since = now;
            } else if (value != "0" && zero) {
                zero = false;
                zero_ += now - since;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (zero) {
            zero_ += Clock::now() - since;
        }
    }

    std::string file_;
    std::atomic<bool> done_{false};
    std::chrono::duration<double> zero_{0};
    std::thread thread_;
};

} // namespace

int main(int argc, char** argv) {
    klar::EngineLimits limits;
    // --message: the job's own final message only, whatever it says (scripts/efficacy.sh); and
    // no trim, since trimmed free space reads as zeros from an image and would hide what the
    // pass did not reach.
    bool messageOnly = false;
    bool verify = false; // --verify: the pass reads its fillers back before deleting them
    int arg = 1;
    for (; arg < argc - 1; ++arg) {
        const std::string option = argv[arg];
        if (option == "--buffered") {
            limits.direct = false;
        } else if (option == "--verify") {
            verify = true;
        } else if (option == "--message") {
            messageOnly = true;
        } else if (option == "--transfer-blocks" && arg + 2 < argc) {
            limits.transferBlocks = static_cast<std::size_t>(std::atoi(argv[++arg]));
        } else {
            break;
        }
    }
    if (arg != argc - 1 || limits.transferBlocks == 0) {
        std::fprintf(stderr,
                     "usage: %s [--buffered] [--transfer-blocks N] [--verify] [--message] "
                     "FOLDER\n"
                     "Fills the free space of FOLDER's volume once through the engine and\n"
                     "prints: bytes=<free bytes at start> seconds=<whole job>"
                     " fill_seconds=<until the volume was full>"
                     " stage_seconds=<small files after the fill> max_rss_kib=<peak memory>"
                     " pool_zero_seconds=<how long ext4's reserved-cluster pool was 0>"
                     " verify_seconds=<the read-back, with --verify>\n",
                     argv[0]);
        return 2;
    }
    const std::string folder = argv[arg];
    auto platform = klar::makeSystemPlatform();

    klar::SpaceInfo space;
    const klar::OsStatus status = platform->driveSpace(folder, space);
    if (!status.ok()) {
        std::fprintf(stderr, "%s: %s\n", folder.c_str(), status.text.c_str());
        return 1;
    }

    klar::JobState state;
    klar::InitJobState(state);
    QuietView view(folder, state);
    klar::ClockSeededRandom random;
    klar::Engine engine(state, *platform, view, random, limits);
    engine.SetVerify(verify ? klar::VerifyPasses::All : klar::VerifyPasses::None);
    engine.SetTrim(!messageOnly);

    PoolWatch pool(PoolFile(folder));
    const auto start = Clock::now();
    const klar::JobOutcome outcome = engine.Run();
    const auto end = Clock::now();
    const double poolZero = pool.Stop();

    if (messageOnly) {
        for (const auto& message : view.messages()) {
            std::printf("%s\n", message.c_str());
        }
        return 0;
    }
    if (const std::string why = Spoiled(outcome, view); !why.empty()) {
        std::fprintf(stderr, "%s\n", why.c_str());
        return 1;
    }
    const std::chrono::duration<double> job = end - start;
    const std::chrono::duration<double> fill = *view.full() - start;
    double readBack = 0;
    double stage = 0;
    for (const klar::PassReport& pass : outcome.passes) {
        readBack += pass.verify ? pass.verify->seconds : 0.0;
        stage += pass.smallFileSeconds;
    }
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("bytes=%llu seconds=%.6f fill_seconds=%.6f stage_seconds=%.6f max_rss_kib=%ld "
                "pool_zero_seconds=%.6f verify_seconds=%.6f\n",
                static_cast<unsigned long long>(space.free), job.count(), fill.count(), stage,
                usage.ru_maxrss, poolZero, readBack);
    return 0;
}
