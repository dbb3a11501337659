#include "forms/main_form.h"

#include "engine/drive_list.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace klar::forms {
namespace {

constexpr double kTwipsPerInch = 1440.0;
constexpr std::array kMethods{MethodBox::DOD, MethodBox::NSA,    MethodBox::Guttman,
                              MethodBox::UK,  MethodBox::Canada, MethodBox::Single};

bool IsBlank(const std::string& text) {
    return text.find_first_not_of(' ') == std::string::npos;
}

} // namespace

std::string MainCaption(bool startedAsAdministrator) {
    // The caption ends in a space, so the suffix reads as a word of its own.
    return startedAsAdministrator ? std::string(kMainCaption) + kAdministratorSuffix
                                  : std::string(kMainCaption);
}

std::string PlacementText(double twips) {
    char text[32];
    std::snprintf(text, sizeof text, "%.7g", static_cast<double>(static_cast<float>(twips)));
    return text;
}

int TwipsToPixels(int twips, double dpi) {
    return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch));
}

double PixelsToTwips(int pixels, double dpi) {
    return pixels * kTwipsPerInch / dpi;
}

std::vector<std::string> DriveListItems(const std::vector<std::string>& drives) {
    std::vector<std::string> items;
    for (const std::string& drive : drives) {
        if (!IsBlank(drive)) {
            items.push_back(drive);
        }
    }
    return items;
}

void MainForm::Form_Load() {
    view_.SetOuterSizeTwips(kMainWidthTwips, kMainHeightTwips);
    view_.RemoveMaximizeBox();
    view_.ShowDonate();
    view_.SetDriveItems(DriveListItems(LoadDriveList(platform_)));
}

void MainForm::Form_Activate() {
    view_.SetBarColour(kBarColour);
}

void MainForm::Form_Unload(bool& cancel) {
    if (state_.gJobRunning) {
        view_.ShowMessage(kStillRunning);
        cancel = true;
        return;
    }
    if (!state_.gExitRequested) {
        view_.ShowMessage(kUseFileExit);
        cancel = true;
        return;
    }
    view_.UnloadOtherForms();
    if (!view_.IsMinimized()) {
        SavePlacement();
    }
}

void MainForm::SavePlacement() {
    const PlacementTwips outer = view_.OuterPlacement();
    const std::array values{outer.left, outer.top, outer.width, outer.height};
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::string why =
            view_.WriteSetting(kSettingsSection, kPlacementKeys[i], PlacementText(values[i]));
        if (!why.empty()) {
            // One box is enough: the other values would fail the same way.
            view_.ShowMessage("The window position could not be saved (" +
                              std::string(kPlacementKeys[i]) + "): " + why + ".");
            return;
        }
    }
}

void MainForm::MethodClicked(MethodBox box) {
    if (!view_.IsMethodChecked(box)) {
        return;
    }
    // Each box cleared here runs this rule again, finds itself unchecked and stops.
    for (MethodBox other : kMethods) {
        if (other != box) {
            view_.SetMethodChecked(other, false);
        }
    }
}

void MainForm::mnuFileExit_Click() {
    state_.gExitRequested = true;
    view_.RequestClose();
}

void MainForm::mnuDonate_Click() {
    view_.ShowDonate();
}

void MainForm::mnuHelpAbout_Click() {
    view_.ShowAbout();
}

void MainForm::MenuChosen(MenuCommand command) {
    switch (command) {
    case MenuCommand::Donate:
        mnuDonate_Click();
        break;
    case MenuCommand::FileExit:
        mnuFileExit_Click();
        break;
    case MenuCommand::HelpAbout:
        mnuHelpAbout_Click();
        break;
    }
}

} // namespace klar::forms
