// The main window's rules outside the job, on a window double that behaves as a toolkit does
// (a box set by code runs its click rule; a close request runs the exit guard).
#include "forms/main_form.h"
#include "given_drives.h"

#include <gtest/gtest.h>
#include <map>
#include <set>

namespace klar::forms {
namespace {

struct FakeMainView : MainView {
    MainForm* rules = nullptr;
    std::vector<std::string> log;
    std::set<MethodBox> checked{MethodBox::DOD};
    bool minimized = false;
    std::map<std::string, std::string> settings;
    std::vector<std::string> settingOrder;
    std::string refusedKey; ///< the setting the store refuses
    bool closed = false;

    void SetOuterSizeTwips(int w, int h) override {
        log.push_back("size " + std::to_string(w) + "x" + std::to_string(h));
    }
    void RemoveMaximizeBox() override { log.push_back("no maximise box"); }
    void SetDriveItems(const std::vector<std::string>& items) override {
        std::string text = "drives";
        for (const auto& item : items) {
            text += " " + item;
        }
        log.push_back(text);
    }
    bool IsMethodChecked(MethodBox box) override { return checked.count(box) != 0; }
    void SetMethodChecked(MethodBox box, bool on) override {
        const bool was = checked.count(box) != 0;
        on ? (void)checked.insert(box) : (void)checked.erase(box);
        if (was != on) {
            rules->MethodClicked(box);
        }
    }
    void SetBarColour(std::uint32_t colour) override {
        log.push_back("bar " + std::to_string(colour));
    }
    void ShowMessage(const std::string& text) override { log.push_back("message " + text); }
    void ShowDonate() override { log.push_back("donate"); }
    void ShowAbout() override { log.push_back("about"); }
    void UnloadOtherForms() override { log.push_back("unload others"); }
    bool IsMinimized() override { return minimized; }
    PlacementTwips OuterPlacement() override { return {1200, -900, 4755, 3195.5}; }
    std::string WriteSetting(const std::string& section, const std::string& key,
                             const std::string& value) override {
        settingOrder.push_back(key);
        if (key == refusedKey) {
            return "Access is denied";
        }
        settings[section + "/" + key] = value;
        return {};
    }
    void RequestClose() override {
        bool cancel = false;
        rules->Form_Unload(cancel);
        closed = !cancel;
    }
};

struct Rig {
    JobState state;
    /// Drives c, a blank entry and d, whatever the machine has.
    test::GivenDrives platform{std::string("c:\\\0 :\\\0d:\\\0\0", 13)};
    FakeMainView view;
    MainForm rules{state, platform, view};
    Rig() {
        InitJobState(state);
        view.rules = &rules;
    }
};

TEST(MainForm, LoadSizesTheWindowDropsMaximiseOpensDonationThenFillsTheDriveList) {
    Rig rig;
    rig.rules.Form_Load();
    EXPECT_EQ(rig.view.log, (std::vector<std::string>{"size 4755x3195", "no maximise box", "donate",
                                                      "drives C D"}));
}

TEST(MainForm, ActivationSetsTheDarkBlueBarEveryTime) {
    Rig rig;
    rig.rules.Form_Activate();
    rig.rules.Form_Activate();
    const std::string bar = "bar " + std::to_string(0x007F0000);
    EXPECT_EQ(rig.view.log, (std::vector<std::string>{bar, bar}));
}

TEST(MainForm, AtMostOneMethodBoxIsCheckedAndNoneIsAllowed) {
    Rig rig;
    const MethodBox all[] = {MethodBox::DOD, MethodBox::NSA,    MethodBox::Guttman,
                             MethodBox::UK,  MethodBox::Canada, MethodBox::Single};
    for (MethodBox box : all) {
        rig.view.checked = std::set<MethodBox>(std::begin(all), std::end(all));
        rig.view.checked.erase(box);
        rig.view.SetMethodChecked(box, true); // as a user's click does
        EXPECT_EQ(rig.view.checked, std::set<MethodBox>{box});
    }
    rig.view.SetMethodChecked(MethodBox::Single, false);
    EXPECT_TRUE(rig.view.checked.empty());
}

TEST(MainForm, TheExitGuardRefusesOrEndsAsTheStateSays) {
    struct Case {
        bool running;
        bool viaFileExit;
        bool minimized;
        std::vector<std::string> log;
        bool closed;
        std::size_t settings;
    };
    const std::vector<Case> cases = {
        {true, true, false, {"message Program still running. Abort first, then Exit."}, false, 0},
        {true, false, false, {"message Program still running. Abort first, then Exit."}, false, 0},
        {false, false, false, {"message Exit program via File-Exit menu option."}, false, 0},
        {false, true, false, {"unload others"}, true, 4},
        {false, true, true, {"unload others"}, true, 0},
    };
    for (const Case& c : cases) {
        Rig rig;
        rig.state.gJobRunning = c.running;
        rig.view.minimized = c.minimized;
        if (c.viaFileExit) {
            rig.rules.mnuFileExit_Click();
        } else {
            rig.view.RequestClose();
        }
        SCOPED_TRACE(testing::Message() << c.running << c.viaFileExit << c.minimized);
        EXPECT_EQ(rig.view.log, c.log);
        EXPECT_EQ(rig.view.closed, c.closed);
        EXPECT_EQ(rig.view.settings.size(), c.settings);
        EXPECT_EQ(rig.state.gExitRequested, c.viaFileExit);
    }
}

TEST(MainForm, FileExitWritesThePlacementInTwipsInItsOrder) {
    Rig rig;
    rig.rules.mnuFileExit_Click();
    EXPECT_EQ(rig.view.settingOrder,
              (std::vector<std::string>{"MainLeft", "MainTop", "MainWidth", "MainHeight"}));
    EXPECT_EQ(rig.view.settings,
              (std::map<std::string, std::string>{{"Settings/MainLeft", "1200"},
                                                  {"Settings/MainTop", "-900"},
                                                  {"Settings/MainWidth", "4755"},
                                                  {"Settings/MainHeight", "3195.5"}}));
}

// A settings store that refuses a value is told once, with its words, and the program still
// ends: the placement is a convenience, not worth keeping the user from leaving.
TEST(MainForm, ARefusedSettingIsToldOnceAndTheProgramStillEnds) {
    Rig rig;
    rig.view.refusedKey = "MainTop";
    rig.rules.mnuFileExit_Click();
    const auto messages =
        std::count_if(rig.view.log.begin(), rig.view.log.end(),
                      [](const std::string& e) { return e.starts_with("message"); });
    EXPECT_EQ(messages, 1);
    EXPECT_NE(std::find(rig.view.log.begin(), rig.view.log.end(),
                        "message The window position could not be saved (MainTop): Access is "
                        "denied."),
              rig.view.log.end());
    EXPECT_EQ(rig.view.settingOrder, (std::vector<std::string>{"MainLeft", "MainTop"}));
    EXPECT_TRUE(rig.view.closed);
}

TEST(MainForm, ARefusedFileExitStaysRequestedSoTheCloseBoxEndsTheProgramLater) {
    Rig rig;
    rig.state.gJobRunning = true;
    rig.rules.mnuFileExit_Click();
    EXPECT_FALSE(rig.view.closed);
    rig.state.gJobRunning = false;
    rig.view.RequestClose();
    EXPECT_TRUE(rig.view.closed);
    EXPECT_EQ(rig.view.log.back(), "unload others");
}

TEST(MainForm, PlacementTextIsASinglePrecisionNumberWithoutDecoration) {
    EXPECT_EQ(PlacementText(4755), "4755");
    EXPECT_EQ(PlacementText(-15), "-15");
    EXPECT_EQ(PlacementText(1440.0 * 100 / 120), "1200");
    EXPECT_EQ(PlacementText(1000.0 / 3), "333.3333");
    EXPECT_EQ(TwipsToPixels(4755, 96), 317);
    EXPECT_EQ(TwipsToPixels(4755, 120), 396);
    EXPECT_DOUBLE_EQ(PixelsToTwips(80, 96), 1200);
}

} // namespace
} // namespace klar::forms
