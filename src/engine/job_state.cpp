#include "engine/job_state.h"

#include "engine/schedules.h"

namespace klar {

void StoreDodSchedule(JobState& state) {
    for (std::size_t i = 0; i < kDodBytes.size(); ++i) {
        state.gPattern[i + 1] = kDodBytes[i];
    }
    state.gPassCount = kDodPasses;
}

void InitJobState(JobState& state) {
    StoreDodSchedule(state);
    state.gAbort = false;
    state.gJobRunning = false;
    state.gExitRequested = false;
}

} // namespace klar
