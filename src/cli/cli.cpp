#include "cli/cli.h"

#include "cli/cli_options.h"
#include "cli/console_view.h"
#include "cli/job_record.h"
#include "engine/drive_list.h"
#include "engine/engine.h"
#include "engine/job_state.h"
#include "engine/journal.h"
#include "engine/random_source.h"
#include "platform/record_file.h"
#include "platform/termination.h"

namespace klar::cli {
namespace {

/// Writes the job's record where the user asked; false, said on err, when it cannot be.
bool WriteRecord(const CliOptions& options, Platform& platform, RecordContext context,
                 const JobOutcome& outcome, std::FILE* err) {
    context.program = "klarvenor-cli";
    context.version = KLAR_VERSION;
    context.host = HostName();
    context.user = UserName();
    context.end = std::chrono::system_clock::now();
    context.drive = options.drive;
    context.root = platform.rootPath(options.drive);
    context.volume = platform.volumeNames(context.root);
    context.method = options.methodName;
    const std::string why = WriteFileAtomically(options.report, JobRecordJson(context, outcome));
    if (!why.empty()) {
        std::fprintf(err, "klarvenor-cli: the record of the job cannot be written to %s: %s\n",
                     options.report.c_str(), why.c_str());
    }
    return why.empty();
}

int RunJob(const CliOptions& options, Platform& platform, std::FILE* out, std::FILE* err,
           bool terminal) {
    JobState state;
    InitJobState(state);
    const OutputMode mode = options.json ? OutputMode::Json
                            : terminal   ? OutputMode::Terminal
                                         : OutputMode::Lines;
    ConsoleView view(options.drive, options.method, mode, state, out, err);
    ClockSeededRandom random;
    Engine engine(state, platform, view, random);
    engine.SetTrim(options.trim);
    engine.SetVerify(options.verify);
    // A signal aborts the job inside the engine, as Abort does, so its filler files are gone
    // before the status says so.
    RecordContext context;
    context.start = std::chrono::system_clock::now();
    const JobOutcome outcome = engine.Run();
    view.Finish(outcome);
    const bool recorded =
        options.report.empty() || WriteRecord(options, platform, context, outcome, err);
    if (outcome.kind == JobOutcome::Kind::Aborted) {
        if (const int signal = TerminationSignal(); signal != 0) {
            return 128 + signal;
        }
    }
    return outcome.cleared() && recorded ? kExitCleared : kExitNotCleared;
}

} // namespace

int RunCli(const std::vector<std::string>& args, Platform& platform, std::FILE* out, std::FILE* err,
           bool terminal) {
    const CliOptions options = ParseCommandLine(args);
    switch (options.action) {
    case CliOptions::Action::BadUsage:
        std::fprintf(err, "klarvenor-cli: %s (see klarvenor-cli --help)\n", options.text.c_str());
        return kExitBadUsage;
    case CliOptions::Action::Help:
    case CliOptions::Action::Version:
        std::fprintf(out, "%s\n", options.text.c_str());
        return kExitCleared;
    case CliOptions::Action::List:
        for (const std::string& drive : LoadDriveList(platform)) {
            std::fprintf(out, "%s\n", drive.c_str());
        }
        return kExitCleared;
    case CliOptions::Action::Clear:
        break;
    }
    // The filler files of a job that died (a crash, a kill) go before a new job starts.
    if (const std::string removed = CleanUpAfterDeadJobs(platform); !removed.empty()) {
        std::fprintf(err, "%s\n", removed.c_str());
    }
    return RunJob(options, platform, out, err, terminal);
}

} // namespace klar::cli
