#pragma once

#include "forms/app_version.h"

#include <string>

namespace klar::forms {

inline constexpr const char* kAboutCaption = "About Klarvenor";
inline constexpr const char* kLicenseButton = "&License Agreement";

/// The maker's web site and its two pages the windows open.
inline constexpr const char* kMakerSite = "https://www.klarvenor.example";
inline constexpr const char* kLicencePage = "/eulaklarvenor.html";
inline constexpr const char* kProductPage = "/klarvenor.html";

/// The address of a page of the maker's site.
[[nodiscard]] std::string MakerPage(const char* path);

/// "Version " and the three numbers, as the About window shows them.
[[nodiscard]] std::string VersionText(const AppVersion& version);

/// What the program does and does not do, as the About window describes it.
[[nodiscard]] std::string AboutDescription();

/// What the About window's rules need of a toolkit's window.
class AboutView {
public:
    virtual ~AboutView() = default;
    virtual void SetTitle(const std::string& text) = 0;
    virtual void SetVersion(const std::string& text) = 0;
    /// Asks the shell to open the page, owned by this window; a failure is not reported.
    virtual void OpenPage(const std::string& address) = 0;
    virtual void Unload() = 0;
};

/// The About window's handlers, the same in every front end.
class AboutForm {
public:
    explicit AboutForm(AboutView& view) : view_(view) {}
    void Form_Load();
    void Command1_Click();
    void cmdOK_Click();

private:
    AboutView& view_;
};

} // namespace klar::forms
