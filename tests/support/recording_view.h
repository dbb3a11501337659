#pragma once

#include "engine/job_view.h"

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace klar::test {

/// A window double that records what a job shows and can act at any yield.
class RecordingView : public JobView {
public:
    std::string drive;
    std::set<MethodBox> checked{MethodBox::DOD};

    std::map<Caption, std::string> captions{{Caption::Label2, "Pass [ ]:"},
                                            {Caption::Label8, ""},
                                            {Caption::Label9, "Remaining:"},
                                            {Caption::Label10, "Drive Capacity:"}};
    std::vector<std::string> captionLog; ///< every caption written, in order
    float progress = 0.0f;
    std::vector<float> progressLog;
    bool abortVisible = false;
    std::vector<std::string> focusLog; ///< "cboDelay" or "Command5"
    std::vector<std::string> messages;
    long yields = 0;
    std::string route; ///< what administratorRoute() answers

    /// Runs at every yield, after the count went up.
    std::function<void()> onYield;
    /// Runs when a message box opens, before it is recorded closed.
    std::function<void(const std::string&)> onMessage;

    std::string driveText() override { return drive; }
    bool isChecked(MethodBox box) override { return checked.count(box) != 0; }
    void setCaption(Caption which, const std::string& text) override {
        captions[which] = text;
        captionLog.push_back(text);
    }
    void setProgress(float percent) override {
        progress = percent;
        progressLog.push_back(percent);
    }
    void setAbortVisible(bool visible) override { abortVisible = visible; }
    void focusDriveList() override { focusLog.emplace_back("cboDelay"); }
    void focusClearButton() override { focusLog.emplace_back("Command5"); }
    void showMessage(const std::string& text) override {
        if (onMessage) {
            onMessage(text);
        }
        messages.push_back(text);
    }
    void yield() override {
        ++yields;
        if (onYield) {
            onYield();
        }
    }

    std::string administratorRoute() const override { return route; }

    void check(MethodBox box) { checked = {box}; }
    void uncheckAll() { checked.clear(); }
    [[nodiscard]] bool logged(const std::string& text) const;
    [[nodiscard]] bool loggedPrefix(const std::string& prefix) const;
};

} // namespace klar::test
