// The About and donation windows' rules, and the order the exit unloads windows in.
#include "forms/about_form.h"
#include "forms/donate_form.h"
#include "forms/loaded_forms.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace klar::forms {
namespace {

struct FakeAux : AboutView, DonateView {
    std::vector<std::string> log;
    void SetTitle(const std::string& t) override { log.push_back("title " + t); }
    void SetVersion(const std::string& t) override { log.push_back("version " + t); }
    void OpenPage(const std::string& a) override { log.push_back("open " + a); }
    void Unload() override { log.push_back("unload"); }
    void SetOuterSizeTwips(int w, int h) override {
        log.push_back("size " + std::to_string(w) + "x" + std::to_string(h));
    }
    void StartTimer(int ms) override { log.push_back("timer " + std::to_string(ms)); }
    void StopTimer() override { log.push_back("timer off"); }
    void BringToFront() override { log.push_back("front"); }
};

TEST(AboutForm, ShowsVersionAndTitleAndOpensTheLicencePageWithoutClosing) {
    EXPECT_EQ(VersionText({2, 10, 5}), "Version 2.10.5");
    FakeAux view;
    AboutForm about(view);
    about.Form_Load();
    about.Command1_Click();
    about.cmdOK_Click();
    EXPECT_EQ(view.log,
              (std::vector<std::string>{"version Version " KLAR_PROJECT_VERSION, "title Klarvenor",
                                        "open " + MakerPage(kLicencePage), "unload"}));
    EXPECT_TRUE(MakerPage(kLicencePage).ends_with("/eulaklarvenor.html"));
}

TEST(DonateForm, ComesToTheFrontOnceAfter200MsPerLoad) {
    FakeAux view;
    DonateForm donate(view);
    donate.Form_Load();
    donate.Timer1_Timer();
    donate.Timer1_Timer(); // a tick already queued when the timer stopped
    donate.Command1_Click();
    EXPECT_EQ(view.log,
              (std::vector<std::string>{"size 8535x3630", "timer 200", "timer off", "front",
                                        "timer off", "open " + MakerPage(kProductPage)}));
    view.log.clear();
    donate.Form_Load();
    donate.Timer1_Timer();
    EXPECT_EQ(view.log.back(), "front");
}

TEST(LoadedForms, UnloadsTheOthersMostRecentFirstAndKeepsOneThatRefuses) {
    int main = 0, donate = 1, about = 2, donateAgain = 3;
    LoadedForms<int> forms;
    EXPECT_TRUE(forms.Loaded(&main));
    forms.Loaded(&donate);
    EXPECT_FALSE(forms.Loaded(&main));
    forms.Loaded(&about);
    forms.Loaded(&donateAgain);
    forms.Unloaded(&donate);
    std::vector<int> order;
    forms.UnloadAllBut(&main, [&](int* form) {
        order.push_back(*form);
        if (*form != 2) {
            forms.Unloaded(form);
        }
    });
    EXPECT_EQ(order, (std::vector<int>{3, 2}));
    EXPECT_EQ(forms.All(), (std::vector<int*>{&main, &about}));
}

} // namespace
} // namespace klar::forms
