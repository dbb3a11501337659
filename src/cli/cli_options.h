#pragma once

#include "engine/engine.h"
#include "engine/job_view.h"

#include <string>
#include <vector>

namespace klar::cli {

/// What the command line asks for.
struct CliOptions {
    enum class Action { Clear, List, Help, Version, BadUsage };
    Action action = Action::BadUsage;
    MethodBox method = MethodBox::DOD; ///< the window's start state
    std::string methodName = "dod";
    std::string drive;
    bool json = false;
    std::string report; ///< where the job's record goes; empty for none
    bool trim = true;   ///< hand the cleared space back to the device at the end
    VerifyPasses verify = VerifyPasses::None; ///< which passes read their fillers back
    std::string text; ///< the help or version text, or the one-line reason of bad usage
};

/// Reads the arguments (without the program name). Never throws and prints nothing.
[[nodiscard]] CliOptions ParseCommandLine(const std::vector<std::string>& args);

} // namespace klar::cli
