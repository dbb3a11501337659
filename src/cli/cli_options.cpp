#include "cli/cli_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <map>

namespace klar::cli {
namespace {

const std::map<std::string, MethodBox> kMethods = {
    {"single", MethodBox::Single},   {"dod", MethodBox::DOD},         {"nsa", MethodBox::NSA},
    {"canadian", MethodBox::Canada}, {"guttman", MethodBox::Guttman}, {"uk", MethodBox::UK}};

constexpr const char* kDescription =
    "Clears the free space of DRIVE: for every pass of the method it fills the free space\n"
    "with filler files that repeat one byte, flushes them to the medium and deletes them.\n"
    "Existing files are never opened, changed or deleted.";

constexpr const char* kFooter = R"(Methods:
  single    1 pass of 0x00, the fastest
  dod       DOD 5220.22M, 3 passes (the default)
  nsa       NSA, 7 passes
  canadian  Canadian, 8 passes
  guttman   Guttman, 35 passes
  uk        UK, 38 passes

DRIVE:
  On Linux a folder you can write (a mount point such as /media/user/STICK, or any
  folder): the filler files go there and the free space of its filesystem is cleared.
  On Windows a drive letter: "t" clears T:\.

Output:
  On a terminal one line that rewrites itself: pass, percent, MB/s and time left.
  Otherwise plain lines as the job's texts change. With --json one JSON object per
  line, for scripts: pass_start, progress (a few times a second), verify_start,
  verify_progress and verify_end around a read-back, pass_end, trim, and a final
  message with its outcome (cleared, not_cleared or aborted).

Exit status:
  0    the drive was cleared
  1    the drive was not fully cleared (the reason is on stderr)
  2    bad usage
  130  interrupted by Ctrl-C: the job was aborted and its filler files deleted)";

std::string OneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

} // namespace

CliOptions ParseCommandLine(const std::vector<std::string>& args) {
    CliOptions options;
    CLI::App app(kDescription, "klarvenor-cli");
    app.footer(kFooter);
    app.get_formatter()->column_width(24);
    std::string& method = options.methodName;
    bool list = false;
    auto* methodOption =
        app.add_option("-m,--method", method, "Clearing method (see below; default: dod)")
            ->check(CLI::IsMember({"single", "dod", "nsa", "canadian", "guttman", "uk"})
                        .description(""))
            ->type_name("METHOD");
    auto* jsonFlag = app.add_flag("--json", options.json, "One JSON object per event, per line");
    bool noTrim = false;
    auto* noTrimFlag = app.add_flag("--no-trim", noTrim,
                                    "Do not hand the cleared space back to the device at the end");
    std::string verify;
    auto* verifyOption =
        app.add_option("--verify", verify,
                       "Read the fillers back from the medium and compare every byte: after "
                       "the last pass, or after all of them")
            ->check(CLI::IsMember({"last", "all"}).description(""))
            ->type_name("last|all");
    auto* reportOption =
        app.add_option("--report", options.report, "Write a record of the job to FILE (JSON)")
            ->type_name("FILE");
    auto* driveOption =
        app.add_option("DRIVE", options.drive, "The drive or folder to clear")->type_name("");
    app.add_flag("-l,--list", list, "Print the drives the window offers, one per line");
    app.set_version_flag("-V,--version", KLAR_VERSION, "Print the version and exit");

    std::vector<std::string> reversed(args.rbegin(), args.rend()); // CLI11 parses from the back
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        options.action = CliOptions::Action::Help;
        options.text = app.help();
        return options;
    } catch (const CLI::CallForVersion&) {
        options.action = CliOptions::Action::Version;
        options.text = KLAR_VERSION;
        return options;
    } catch (const CLI::ParseError& error) {
        options.text = OneLine(error.what());
        return options;
    }
    if (list && (methodOption->count() + jsonFlag->count() + reportOption->count() +
                 noTrimFlag->count() + verifyOption->count() + driveOption->count()) > 0) {
        options.text = "--list takes no other arguments";
        return options;
    }
    if (list) {
        options.action = CliOptions::Action::List;
        return options;
    }
    if (driveOption->count() == 0) {
        options.text = "DRIVE is missing: name the drive or folder to clear";
        return options;
    }
    if (options.drive.find_first_not_of(' ') == std::string::npos) {
        options.text = "DRIVE is blank: name the drive or folder to clear";
        return options;
    }
    options.trim = !noTrim;
    if (!verify.empty()) {
        options.verify = verify == "all" ? VerifyPasses::All : VerifyPasses::Last;
    }
    options.method = kMethods.at(method);
    options.action = CliOptions::Action::Clear;
    return options;
}

} // namespace klar::cli
