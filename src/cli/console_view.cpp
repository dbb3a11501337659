#include "cli/console_view.h"

#include "cli/job_record.h"

#include <cmath>
#include <nlohmann/json.hpp>

namespace klar::cli {
namespace {

using namespace std::chrono_literals;

/// The clock is read once every so many yields: a job yields five times per 64 KiB block.
constexpr int kYieldsPerClockRead = 16;

ConsoleView::Clock::duration ReportInterval(OutputMode mode) {
    switch (mode) {
    case OutputMode::Terminal:
        return 200ms;
    case OutputMode::Json:
        return 250ms;
    case OutputMode::Lines:
        break;
    }
    return 1s;
}

using Json = nlohmann::ordered_json; // the event's name first, as a reader expects

/// Rounded to `places` decimals, so that events stay short.
double Rounded(double value, int places) {
    const double scale = std::pow(10.0, places);
    return std::round(value * scale) / scale;
}

std::string Duration(double seconds) {
    const long long whole = std::llround(seconds);
    char text[32];
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60,
                      whole % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    }
    return text;
}

/// The names the JSON output documents; a refused job was not cleared either.
} // namespace

std::string TimeLeftText(std::uint64_t remaining, std::uint64_t passStartFree, int pass, int passes,
                         double rate) {
    const double passLeft = static_cast<double>(remaining) / rate;
    std::string text = Duration(passLeft) + " left";
    if (pass < passes) {
        const double later =
            static_cast<double>(passes - pass) * static_cast<double>(passStartFree);
        text += ", job " + Duration(passLeft + later / rate);
    }
    return text;
}

namespace {

const char* OutcomeName(JobOutcome::Kind kind) {
    switch (kind) {
    case JobOutcome::Kind::Cleared:
        return "cleared";
    case JobOutcome::Kind::Aborted:
        return "aborted";
    case JobOutcome::Kind::NotCleared:
    case JobOutcome::Kind::Refused:
        break;
    }
    return "not_cleared";
}

void Line(std::FILE* stream, const std::string& text) {
    std::fputs(text.c_str(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

} // namespace

ConsoleView::ConsoleView(std::string drive, MethodBox method, OutputMode mode,
                         const JobState& state, std::FILE* out, std::FILE* err)
    : drive_(std::move(drive)), method_(method), mode_(mode), state_(state), out_(out), err_(err) {}

void ConsoleView::setCaption(Caption which, const std::string& text) {
    switch (which) {
    case Caption::Label8: // written once at the start of every pass
        PassStarted();
        break;
    case Caption::Label9: // the figure comes with progressed()
        break;
    case Caption::Label10:
        capacity_ = text;
        if (mode_ == OutputMode::Lines) {
            Line(out_, capacity_);
        }
        break;
    case Caption::Label2:
        break;
    }
}

void ConsoleView::progressed(const JobProgress& progress) {
    remaining_ = progress.free;
    if (!passMeasured_ && pass_ > 0) {
        passMeasured_ = true;
        passStartFree_ = progress.free;
        passStart_ = Clock::now();
        nextReport_ = passStart_; // the pass's first figures at once
    }
}

std::string ConsoleView::administratorRoute() const {
#ifdef _WIN32
    return {}; // no volume of Windows keeps space for the administrator alone
#else
    return "run it with sudo";
#endif
}

void ConsoleView::yield() {
    if (--yieldsUntilClock_ > 0) {
        return;
    }
    yieldsUntilClock_ = kYieldsPerClockRead;
    if (!passMeasured_) {
        return;
    }
    const Clock::time_point now = Clock::now();
    if (now >= nextReport_) {
        if (verifying_) {
            VerifyReportNow(now);
        } else {
            Report(now);
        }
        nextReport_ = now + ReportInterval(mode_);
    }
}

void ConsoleView::verifyStarted(int pass, std::uint64_t bytes) {
    verifying_ = true;
    verifyBytes_ = bytes;
    verifyRead_ = 0;
    verifyStart_ = Clock::now();
    if (mode_ == OutputMode::Json) {
        if (passMeasured_) {
            Report(verifyStart_); // where the fill got to
        }
        Event({{"event", "verify_start"}, {"pass", pass}, {"bytes", bytes}});
    } else if (mode_ == OutputMode::Lines) {
        Line(out_, "Pass [" + std::to_string(pass) + "]: reading back " + std::to_string(bytes) +
                       " bytes");
    }
    nextReport_ = verifyStart_ + ReportInterval(mode_);
}

void ConsoleView::verifyEnded(const VerifyReport& report) {
    verifying_ = false;
    const Clock::time_point now = Clock::now();
    if (report.passed()) {
        verifiedText_ = "read back";
    } else if (report.wrongBytes > 0) {
        verifiedText_ = std::to_string(report.wrongBytes) +
                        (report.wrongBytes == 1 ? " byte" : " bytes") + " read back wrong";
    } else {
        verifiedText_ = "read-back stopped";
    }
    switch (mode_) {
    case OutputMode::Json: {
        Json firstWrong = nullptr;
        if (report.wrongBytes > 0) {
            firstWrong = {{"file", report.firstWrongFile}, {"offset", report.firstWrongOffset}};
        }
        VerifyReportNow(now);
        Event({{"event", "verify_end"},
               {"pass", pass_},
               {"passed", report.passed()},
               {"bytes_read", report.bytes},
               {"wrong_bytes", report.wrongBytes},
               {"first_wrong", firstWrong},
               {"error", report.error.empty() ? Json(nullptr) : Json(report.error)},
               {"seconds", Rounded(report.seconds, 3)}});
        break;
    }
    case OutputMode::Lines: {
        char text[160];
        std::snprintf(text, sizeof text, "Pass [%d]: %s, %llu bytes in %.3f s", pass_,
                      verifiedText_.c_str(), static_cast<unsigned long long>(report.bytes),
                      report.seconds);
        Line(out_, text);
        break;
    }
    case OutputMode::Terminal:
        break; // the pass's last line says it
    }
}

void ConsoleView::VerifyReportNow(Clock::time_point now) {
    const double seconds = std::chrono::duration<double>(now - verifyStart_).count();
    const double rate = seconds > 0.0 ? static_cast<double>(verifyRead_) / seconds : 0.0;
    const std::uint64_t left = verifyBytes_ > verifyRead_ ? verifyBytes_ - verifyRead_ : 0;
    const double percent = verifyBytes_ > 0 ? static_cast<double>(verifyRead_) * 100.0 /
                                                  static_cast<double>(verifyBytes_)
                                            : 100.0;
    const double secondsLeft = rate > 0.0 ? static_cast<double>(left) / rate : 0.0;
    char text[160];
    switch (mode_) {
    case OutputMode::Json:
        Event({{"event", "verify_progress"},
               {"pass", pass_},
               {"read", verifyRead_},
               {"bytes", verifyBytes_},
               {"percent", Rounded(std::min(percent, 100.0), 2)},
               {"bytes_per_second", Rounded(rate, 0)},
               {"seconds_left", Rounded(secondsLeft, 1)}});
        break;
    case OutputMode::Lines:
        std::snprintf(text, sizeof text, "Pass [%d]: reading back %.0f%%, %.1f MB/s", pass_,
                      percent, rate / 1e6);
        Line(out_, text);
        break;
    case OutputMode::Terminal: {
        std::snprintf(text, sizeof text, "Pass %d of %d  reading back %5.1f%%  %8.1f MB/s  %s",
                      pass_, state_.gPassCount, percent, rate / 1e6,
                      rate > 0.0 ? (Duration(secondsLeft) + " left").c_str() : "");
        Rewrite(text);
        break;
    }
    }
}

void ConsoleView::PassStarted() {
    if (passOpen_) {
        PassEnded();
    }
    ++pass_;
    passOpen_ = true;
    verifiedText_.clear();
    passMeasured_ = false;
    percent_ = 0.0f;
    remaining_ = 0;
    if (mode_ == OutputMode::Json) {
        Event({{"event", "pass_start"},
               {"pass", pass_},
               {"passes", state_.gPassCount},
               {"drive", drive_}});
    } else if (mode_ == OutputMode::Lines) {
        Line(out_, "Pass: " + std::to_string(pass_) + " of " + std::to_string(state_.gPassCount));
    }
}

void ConsoleView::PassEnded() {
    passOpen_ = false;
    const Clock::time_point now = Clock::now();
    char figures[96];
    std::snprintf(figures, sizeof figures, "%llu bytes in %.3f s",
                  static_cast<unsigned long long>(Written()), Seconds(now));
    switch (mode_) {
    case OutputMode::Json:
        if (passMeasured_) {
            Report(now); // where the pass got to
        }
        Event({{"event", "pass_end"},
               {"pass", pass_},
               {"written", Written()},
               {"seconds", Rounded(Seconds(now), 3)}});
        break;
    case OutputMode::Lines:
        Line(out_, "Pass [" + std::to_string(pass_) + "]: ended, " + figures);
        break;
    case OutputMode::Terminal:
        TerminalLine(now, true);
        std::fputc('\n', out_);
        std::fflush(out_);
        terminalWidth_ = 0;
        break;
    }
}

void ConsoleView::Report(Clock::time_point now) {
    const double seconds = Seconds(now);
    const std::uint64_t written = Written();
    const double rate = seconds > 0.0 ? static_cast<double>(written) / seconds : 0.0;
    const std::uint64_t left = remaining_;
    char text[256];
    if (mode_ == OutputMode::Json) {
        Event({{"event", "progress"},
               {"pass", pass_},
               {"percent", Rounded(static_cast<double>(percent_), 2)},
               {"remaining", left},
               {"written", written},
               {"bytes_per_second", Rounded(rate, 0)},
               {"seconds_left", Rounded(rate > 0.0 ? static_cast<double>(left) / rate : 0.0, 1)}});
    } else if (mode_ == OutputMode::Lines) {
        std::snprintf(text, sizeof text, "Pass [%d]: %.0f%%, Remaining: %llu bytes, %.1f MB/s",
                      pass_, static_cast<double>(percent_), static_cast<unsigned long long>(left),
                      rate / 1e6);
        Line(out_, text);
    } else {
        TerminalLine(now, false);
    }
}

void ConsoleView::TerminalLine(Clock::time_point now, bool final) {
    const double seconds = Seconds(now);
    const double rate = seconds > 0.0 ? static_cast<double>(Written()) / seconds : 0.0;
    std::string tail;
    if (final) {
        tail = "in " + Duration(seconds);
    } else if (rate > 0.0) {
        tail = TimeLeftText(remaining_, passStartFree_, pass_, state_.gPassCount, rate);
    }
    if (final && !verifiedText_.empty()) {
        tail += ", " + verifiedText_;
    }
    char text[192];
    std::snprintf(text, sizeof text, "Pass %d of %d  %5.1f%%  %8.1f MB/s  %s", pass_,
                  state_.gPassCount, static_cast<double>(percent_), rate / 1e6, tail.c_str());
    Rewrite(text);
}

void ConsoleView::Rewrite(std::string line) {
    const std::size_t width = line.size();
    if (width < terminalWidth_) {
        line.append(terminalWidth_ - width, ' '); // wipes the end of a longer previous line
    }
    terminalWidth_ = width;
    std::fputc('\r', out_);
    std::fputs(line.c_str(), out_);
    std::fflush(out_);
}

void ConsoleView::Finish(const JobOutcome& outcome) {
    if (passOpen_) {
        PassEnded();
    }
    const bool cleared = outcome.cleared();
    const std::string text =
        outcome.kind == JobOutcome::Kind::Aborted ? "Aborted." : OutcomeMessage(outcome);
    if (mode_ == OutputMode::Json) {
        if (outcome.trim) {
            Event({{"event", "trim"},
                   {"way", TrimWayName(outcome.trim->way)},
                   {"bytes", outcome.trim->bytes}});
        }
        Event({{"event", "message"}, {"outcome", OutcomeName(outcome.kind)}, {"text", text}});
        if (!cleared) {
            Line(err_, text);
        }
        return;
    }
    Line(cleared ? out_ : err_, text);
}

void ConsoleView::Event(const nlohmann::ordered_json& event) {
    // A drive's name that is not UTF-8 is replaced, never a reason to lose the event.
    Line(out_, event.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
}

std::uint64_t ConsoleView::Written() const {
    if (!passMeasured_) {
        return 0;
    }
    const std::uint64_t left = remaining_;
    return passStartFree_ > left ? passStartFree_ - left : 0;
}

double ConsoleView::Seconds(Clock::time_point now) const {
    if (!passMeasured_) {
        return 0.0;
    }
    return std::chrono::duration<double>(now - passStart_).count();
}

} // namespace klar::cli
