#pragma once

#include "engine/job_view.h"

#include <functional>
#include <string>
#include <utility>

namespace klar::test {

/// The engine's cost alone: a single sweep of the drive through a view that keeps nothing and
/// never yields; the job's message goes to onMessage.
class SilentView final : public JobView {
public:
    explicit SilentView(std::string drive, std::function<void(const std::string&)> onMessage = {})
        : drive_(std::move(drive)), onMessage_(std::move(onMessage)) {}

    std::string driveText() override { return drive_; }
    bool isChecked(MethodBox box) override { return box == MethodBox::Single; }
    void setCaption(Caption /*which*/, const std::string& /*text*/) override {}
    void setProgress(float /*percent*/) override {}
    void setAbortVisible(bool /*visible*/) override {}
    void focusDriveList() override {}
    void focusClearButton() override {}
    void showMessage(const std::string& text) override {
        if (onMessage_) {
            onMessage_(text);
        }
    }
    void yield() override {}

private:
    std::string drive_;
    std::function<void(const std::string&)> onMessage_;
};

} // namespace klar::test
