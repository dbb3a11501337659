#pragma once

#include "engine/job_outcome.h"
#include "platform/platform.h"

#include <chrono>
#include <string>

namespace klar::cli {

/// What a job's record says beside its outcome: where and how it ran.
struct RecordContext {
    std::string program;
    std::string version;
    std::string host;
    std::string user;
    std::chrono::system_clock::time_point start;
    std::chrono::system_clock::time_point end;
    std::string drive; ///< as given
    std::string root;
    VolumeNames volume;
    std::string method;
};

/// "free_space", "fillers" or "none".
[[nodiscard]] const char* TrimWayName(TrimReport::Way way);

/// The job's record: one JSON document (format 1; docs/job-record.schema.json).
[[nodiscard]] std::string JobRecordJson(const RecordContext& context, const JobOutcome& outcome);

} // namespace klar::cli
