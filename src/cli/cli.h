#pragma once

#include "platform/platform.h"

#include <cstdio>
#include <string>
#include <vector>

namespace klar::cli {

/// Exit statuses of klarvenor-cli.
inline constexpr int kExitCleared = 0;
inline constexpr int kExitNotCleared = 1;
inline constexpr int kExitBadUsage = 2;

/// Runs klarvenor-cli with the arguments after the program name: a job on the drive they name,
/// the drive list, the help or the version. `terminal` says that `out` is a terminal. Returns
/// the exit status: 0 cleared, 1 not fully cleared, 2 bad usage, 128 + the signal number when an
/// interrupt aborted the job (130 for Ctrl-C).
int RunCli(const std::vector<std::string>& args, Platform& platform, std::FILE* out, std::FILE* err,
           bool terminal);

} // namespace klar::cli
