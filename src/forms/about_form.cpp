#include "forms/about_form.h"

namespace klar::forms {

std::string MakerPage(const char* path) {
    return std::string(kMakerSite) + path;
}

std::string VersionText(const AppVersion& version) {
    return "Version " + std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
           std::to_string(version.revision);
}

std::string AboutDescription() {
    return "Klarvenor secure disk drive surface cleaner.  Allows you to make certain that "
           "information in deleted files cannot be recovered.  DOD-compliant.  "
           "Klarvenor does NOT delete existing files.  Before using this program, make sure you "
           "have deleted all files, that you wish to have permanently deleted, and empty your "
           "Recycle Bin.  After Klarvenor has finished, none of the information within those "
           "deleted files will be recoverable.";
}

void AboutForm::Form_Load() {
    view_.SetVersion(VersionText(kAppVersion));
    view_.SetTitle(kAppTitle);
}

void AboutForm::Command1_Click() {
    view_.OpenPage(MakerPage(kLicencePage));
}

void AboutForm::cmdOK_Click() {
    view_.Unload();
}

} // namespace klar::forms
