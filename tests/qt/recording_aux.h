#pragma once

#include "qt/aux_windows.h"

#include <functional>

namespace klar::uitest {

/// Stands in for the donation and About windows and counts when they are asked for.
class RecordingAux final : public ui::AuxWindows {
public:
    int donateShown = 0;
    int aboutShown = 0;
    std::function<void()> onDonate;

    void ShowDonate() override {
        ++donateShown;
        if (onDonate) {
            onDonate();
        }
    }
    void ShowAbout(QWidget* /*owner*/) override { ++aboutShown; }
};

} // namespace klar::uitest
