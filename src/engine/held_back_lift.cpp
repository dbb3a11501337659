#include "engine/held_back_lift.h"

namespace klar {

HeldBackLift::HeldBackLift(Platform& platform) : platform_(platform) {}

HeldBackLift::~HeldBackLift() {
    restore();
}

const HeldBack& HeldBackLift::lift(const std::string& root) {
    restore();
    heldBack_ = platform_.liftHeldBack(root);
    return heldBack_;
}

void HeldBackLift::restore() {
    if (heldBack_.state == HeldBack::State::Lifted) {
        platform_.restoreHeldBack();
    }
    heldBack_ = {};
}

} // namespace klar
