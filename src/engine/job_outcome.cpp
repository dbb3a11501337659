#include "engine/job_outcome.h"

namespace klar {

std::string OutcomeMessage(const JobOutcome& outcome) {
    switch (outcome.kind) {
    case JobOutcome::Kind::Cleared:
        return "Disk (" + outcome.drive + ") cleared.";
    case JobOutcome::Kind::Aborted:
        return {};
    case JobOutcome::Kind::Refused:
        if (outcome.drive.empty()) {
            return "You must select a drive letter";
        }
        break;
    case JobOutcome::Kind::NotCleared:
        break;
    }
    std::string message = "Disk (" + outcome.drive + ") was not fully cleared: " + outcome.cause;
    for (std::size_t i = 0; i < outcome.leftBehind.size(); ++i) {
        message += (i == 0 ? "; left behind: " : ", ") + outcome.leftBehind[i];
    }
    return message + ".";
}

} // namespace klar
