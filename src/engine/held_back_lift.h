#pragma once

#include "platform/platform.h"

#include <string>

namespace klar {

/// Holds what the platform lifted of the space a filesystem holds back, and gives it back on
/// every way out of the pass that lifted it.
class HeldBackLift {
public:
    explicit HeldBackLift(Platform& platform);
    ~HeldBackLift();
    HeldBackLift(const HeldBackLift&) = delete;
    HeldBackLift& operator=(const HeldBackLift&) = delete;

    /// Lifts what the volume holding root holds back, where this process may.
    const HeldBack& lift(const std::string& root);
    [[nodiscard]] const HeldBack& held() const { return heldBack_; }
    /// Gives back what was lifted; nothing when nothing was.
    void restore();

private:
    Platform& platform_;
    HeldBack heldBack_;
};

} // namespace klar
