#include "cli/job_record.h"

#include <ctime>
#include <nlohmann/json.hpp>

namespace klar::cli {
namespace {

/// "2026-12-07T23:09:11Z".
std::string Utc(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm parts{};
#ifdef _WIN32
    gmtime_s(&parts, &seconds);
#else
    gmtime_r(&seconds, &parts);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

const char* KindName(JobOutcome::Kind kind) {
    switch (kind) {
    case JobOutcome::Kind::Cleared:
        return "cleared";
    case JobOutcome::Kind::NotCleared:
        return "not_cleared";
    case JobOutcome::Kind::Aborted:
        return "aborted";
    case JobOutcome::Kind::Refused:
        break;
    }
    return "refused";
}

} // namespace

const char* TrimWayName(TrimReport::Way way) {
    switch (way) {
    case TrimReport::Way::FreeSpace:
        return "free_space";
    case TrimReport::Way::Fillers:
        return "fillers";
    case TrimReport::Way::None:
        break;
    }
    return "none";
}

std::string JobRecordJson(const RecordContext& context, const JobOutcome& outcome) {
    using nlohmann::json;
    json passes = json::array();
    for (const PassReport& pass : outcome.passes) {
        json verify = nullptr; // not asked for this pass, or the job stopped before it
        if (pass.verify) {
            const VerifyReport& read = *pass.verify;
            json firstWrong = nullptr;
            if (read.wrongBytes > 0) {
                firstWrong = {{"file", read.firstWrongFile}, {"offset", read.firstWrongOffset}};
            }
            verify = {{"passed", read.passed()},
                      {"bytes_read", read.bytes},
                      {"wrong_bytes", read.wrongBytes},
                      {"first_wrong", firstWrong},
                      {"error", read.error.empty() ? json(nullptr) : json(read.error)},
                      {"complete", read.complete},
                      {"seconds", read.seconds}};
        }
        passes.push_back({{"pass", pass.pass},
                          {"byte", pass.byte},
                          {"bytes_written", pass.bytes},
                          {"files_written", pass.files},
                          {"small_files", pass.smallFiles},
                          {"seconds", pass.seconds},
                          {"held_back_lifted_and_given_back", pass.heldBackLifted},
                          {"verify", verify}});
    }
    json trim = nullptr; // not asked for, or the last pass was not reached
    if (outcome.trim) {
        trim = {{"way", TrimWayName(outcome.trim->way)}, {"bytes", outcome.trim->bytes}};
    }
    const json record = {
        {"format", 1},
        {"program", context.program},
        {"version", context.version},
        {"host", context.host},
        {"user", context.user},
        {"start", Utc(context.start)},
        {"end", Utc(context.end)},
        {"drive",
         {{"given", context.drive},
          {"root", context.root},
          {"mount_point", context.volume.mountPoint},
          {"filesystem", context.volume.filesystem},
          {"device", context.volume.device},
          {"capacity", outcome.capacity},
          {"free_at_start", outcome.startFree}}},
        {"method", context.method},
        {"passes", passes},
        {"trim", trim},
        {"outcome",
         {{"result", KindName(outcome.kind)},
          {"cause", outcome.cause},
          {"left_behind", outcome.leftBehind},
          {"message", outcome.kind == JobOutcome::Kind::Aborted ? std::string("Aborted.")
                                                                : OutcomeMessage(outcome)}}},
    };
    // Text that is not UTF-8 (a folder's name) is replaced, never a reason to lose the record.
    return record.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

} // namespace klar::cli
