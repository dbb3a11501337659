// klarvenor-cli as a user runs it: the real program as a child process, on real volumes, judged
// by its exit status, its output and what it leaves on the volume.
#include "child_process.h"
#include "job_rig.h"
#include "test_volume.h"

#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#endif

namespace klar::test {
namespace {

/// The program keeps its job journals in the user's state folder; under test, in one of the
/// tests' own, which every child inherits.
class TestStateFolderEnvironment final : public ::testing::Environment {
public:
    void SetUp() override {
#ifdef _WIN32
        ::SetEnvironmentVariableA("LOCALAPPDATA", TestStateFolder().c_str());
#else
        ::setenv("XDG_STATE_HOME", TestStateFolder().c_str(), 1);
#endif
    }
};
[[maybe_unused]] const auto* const kStateFolder =
    ::testing::AddGlobalTestEnvironment(new TestStateFolderEnvironment);

std::string CliPath() {
    std::string path = KLAR_CLI_PATH;
#ifdef _WIN32
    // Built on Linux and run under Wine, which shows the Linux root as drive Z:.
    if (!path.empty() && path[0] == '/') {
        path = "Z:" + path;
        std::replace(path.begin(), path.end(), '/', '\\');
    }
#endif
    return path;
}

ChildResult Cli(const std::vector<std::string>& args) {
    return RunChild(CliPath(), args);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

std::string Cleared(const TestVolume& volume) {
    return ClearedMessage(volume.driveName());
}

/// The job's record at path, checked against the record's schema in docs/ where the system's
/// validator runs (natively); null when it cannot be read as JSON.
nlohmann::json Record(const std::string& path) {
#ifndef _WIN32
    const std::string check = "/usr/bin/python3 -m jsonschema -i '" + path + "' '" +
                              KLAR_SOURCE_DIR "/docs/schemas/job-record.schema.json'";
    EXPECT_EQ(std::system(check.c_str()), 0) << "the record does not match its schema";
#endif
    std::ifstream in(path);
    return nlohmann::json::parse(in, nullptr, false);
}

/// Checks every line of --json output against the events' schema in docs/ (natively).
[[maybe_unused]] void ExpectValidEvents([[maybe_unused]] const std::string& output) {
#ifndef _WIN32
    const TempFolder folder;
    WriteWholeFile(folder / "events.jsonl", output);
    const std::string check = "/usr/bin/python3 -c 'import json, sys, jsonschema\n"
                              "schema = json.load(open(sys.argv[1]))\n"
                              "for line in open(sys.argv[2]): "
                              "jsonschema.validate(json.loads(line), schema)' '" KLAR_SOURCE_DIR
                              "/docs/schemas/cli-events.schema.json' '" +
                              folder / "events.jsonl" + "'";
    EXPECT_EQ(std::system(check.c_str()), 0) << "an event does not match its schema";
#endif
}

// ---- Jobs that run to the end

struct JobCase {
    const char* method;
    int passes;
};

void PrintTo(const JobCase& job, std::ostream* os) {
    *os << job.method;
}

class CliJob : public ::testing::TestWithParam<JobCase> {};

TEST_P(CliJob, ClearsTheVolumeAndEndsWithTheMessageAndItsRecord) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, 2u << 20);
    WriteWholeFile(JoinPath(volume->root(), "keep.doc"), "the user's own file");
    const TempFolder records;

    const ChildResult run =
        Cli({"--method", GetParam().method, "--report", records / "job.json", volume->driveText()});

    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const auto lines = Lines(run.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), Cleared(*volume));
    const std::string last =
        "Pass: " + std::to_string(GetParam().passes) + " of " + std::to_string(GetParam().passes);
    EXPECT_NE(std::find(lines.begin(), lines.end(), last), lines.end()) << run.out;
    EXPECT_EQ(ListFolder(volume->root()), std::vector<std::string>{"keep.doc"});
    EXPECT_EQ(AsText(ReadWholeFile(JoinPath(volume->root(), "keep.doc"))), "the user's own file");

    const nlohmann::json record = Record(records / "job.json");
    ASSERT_TRUE(record.is_object());
    EXPECT_EQ(record["method"], GetParam().method);
    EXPECT_EQ(record["drive"]["given"], volume->driveText());
    EXPECT_EQ(record["outcome"]["result"], "cleared");
    EXPECT_EQ(record["outcome"]["message"], Cleared(*volume));
    ASSERT_EQ(record["passes"].size(), static_cast<std::size_t>(GetParam().passes));
    const std::uint64_t free = record["drive"]["free_at_start"];
    EXPECT_GT(free, 1u << 20);
    for (const auto& pass : record["passes"]) {
        // Every pass wrote the free space (the small files' bytes on top).
        EXPECT_GE(pass["bytes_written"].get<std::uint64_t>(), free - 65536) << pass;
        EXPECT_GE(pass["files_written"].get<int>(), 1) << pass;
    }
    EXPECT_EQ(ListFolder(records.path()), std::vector<std::string>{"job.json"})
        << "no temporary left";
}

// A record that cannot be written does not change how the job ended, but the status says so.
TEST(CliRecord, ARecordThatCannotBeWrittenIsSaidAndTheStatusIsOne) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, 1u << 20);
    const TempFolder records;
    const ChildResult run = Cli({"--method", "single", "--report",
                                 records / "missing-folder" + "/job.json", volume->driveText()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Lines(run.out).back(), Cleared(*volume));
    const auto errors = Lines(run.err);
    ASSERT_EQ(errors.size(), 1u) << run.err;
    EXPECT_EQ(errors[0].rfind("klarvenor-cli: the record of the job cannot be written to ", 0), 0u)
        << run.err;
    EXPECT_TRUE(ListFolder(records.path()).empty());
}

// --verify all on real filesystems: every pass's fillers read back whole and right, said in
// events that come in order and in the record; and the job ends "cleared".
struct VerifyCase {
    const char* filesystem; ///< "ram" for the RAM volume
    std::uint64_t bytes;
};

void PrintTo(const VerifyCase& row, std::ostream* os) {
    *os << row.filesystem << " " << (row.bytes >> 20) << " MiB";
}

class CliVerify : public ::testing::TestWithParam<VerifyCase> {};

TEST_P(CliVerify, EveryPassOfADodJobReadsBackRightAndTheRecordSaysSo) {
    const VerifyCase& row = GetParam();
    std::string whyNot;
    std::unique_ptr<TestVolume> volume;
    if (std::string(row.filesystem) == "ram") {
        volume = MakeRamVolume(row.bytes, whyNot);
    } else {
        volume = MakeImageVolume(row.bytes, whyNot, row.filesystem);
    }
    if (!volume) {
        NoVolume(whyNot);
        return;
    }
    const TempFolder records;
    const ChildResult run =
        Cli({"--json", "--verify", "all", "--report", records / "job.json", volume->driveText()});
    ExpectValidEvents(run.out);
    const nlohmann::json record = Record(records / "job.json");
    ASSERT_TRUE(record.is_object())
        << "status " << run.status << ", stderr: " << run.err << ", stdout: " << run.out;
    EXPECT_EQ(record["outcome"]["result"], "cleared") << record["outcome"];
    EXPECT_EQ(run.status, 0) << run.err;

    ASSERT_EQ(record["passes"].size(), 3u);
    for (const auto& pass : record["passes"]) {
        SCOPED_TRACE(pass.dump());
        const auto& verify = pass["verify"];
        ASSERT_TRUE(verify.is_object());
        EXPECT_TRUE(verify["passed"].get<bool>());
        EXPECT_EQ(verify["wrong_bytes"], 0);
        // The whole fill, which took the free space; not the small files made after it.
        EXPECT_GE(verify["bytes_read"].get<std::uint64_t>(),
                  record["drive"]["free_at_start"].get<std::uint64_t>() / 10 * 9);
    }
    // In each pass: its fill, then the read-back rising to all of it, then its end.
    std::vector<std::string> order;
    std::uint64_t read = 0;
    for (const std::string& line : Lines(run.out)) {
        const auto event = nlohmann::json::parse(line, nullptr, false);
        ASSERT_TRUE(event.is_object()) << line;
        const std::string name = event["event"];
        if (name == "verify_progress") {
            EXPECT_GE(event["read"].get<std::uint64_t>(), read) << line;
            read = event["read"];
            continue;
        }
        if (name == "verify_start") {
            read = 0;
        }
        if (name == "verify_end") {
            EXPECT_EQ(read, event["bytes_read"].get<std::uint64_t>()) << "the last figure is all";
        }
        if (name != "progress") {
            order.push_back(name);
        }
    }
    const std::vector<std::string> pass = {"pass_start", "verify_start", "verify_end", "pass_end"};
    std::vector<std::string> expected;
    for (int n = 0; n < 3; ++n) {
        expected.insert(expected.end(), pass.begin(), pass.end());
    }
    expected.insert(expected.end(), {"trim", "message"});
    EXPECT_EQ(order, expected);
    EXPECT_TRUE(ListFolder(volume->root()).empty() ||
                ListFolder(volume->root()) == std::vector<std::string>{"lost+found"});
}

#ifdef _WIN32
// Under Wine: a mapped folder and the mapped ext2 image (scripts/windows-test.sh).
INSTANTIATE_TEST_SUITE_P(Filesystems, CliVerify,
                         ::testing::Values(VerifyCase{"ram", 2u << 20},
                                           VerifyCase{"ext2", 8u << 20}));
#else
INSTANTIATE_TEST_SUITE_P(
    Filesystems, CliVerify,
    ::testing::Values(VerifyCase{"ram", 4u << 20}, VerifyCase{"ext4", 16u << 20},
                      VerifyCase{"ext4", 64u << 20}, VerifyCase{"xfs", 300u << 20},
                      VerifyCase{"btrfs", 112u << 20}, VerifyCase{"ntfs", 16u << 20},
                      VerifyCase{"vfat", 16u << 20}),
    [](const auto& row) {
        return std::string(row.param.filesystem) + "_" + std::to_string(row.param.bytes >> 20) +
               "MiB";
    });
#endif

INSTANTIATE_TEST_SUITE_P(Methods, CliJob,
                         ::testing::Values(JobCase{"single", 1}, JobCase{"dod", 3}),
                         [](const auto& job) { return std::string(job.param.method); });

// ---- Failures and bad usage

TEST(CliFailure, AMissingDriveIsNotClearedAndSaysWhy) {
#ifdef _WIN32
    std::string drive;
    const DWORD present = ::GetLogicalDrives();
    for (char letter = 'B'; letter <= 'Z' && drive.empty(); ++letter) {
        if ((present & (1u << (letter - 'A'))) == 0) {
            drive = std::string(1, letter);
        }
    }
    ASSERT_FALSE(drive.empty()) << "every drive letter is in use";
#else
    const std::string drive = "/nonexistent/klarvenor-test-drive";
#endif
    const ChildResult run = Cli({"--method", "single", drive});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.find("cleared."), std::string::npos) << run.out;
    const auto errors = Lines(run.err);
    ASSERT_EQ(errors.size(), 1u) << run.err;
    EXPECT_EQ(errors[0].rfind(NotClearedPrefix(drive), 0), 0u) << run.err;
}

struct UsageCase {
    const char* name;
    std::vector<std::string> args;
};

const UsageCase kBadUsage[] = {
    {"UnknownMethod", {"--method", "quick", "x"}},
    {"Nothing", {}},
    {"NoDrive", {"--method", "dod"}},
    {"TwoDrives", {"x", "y"}},
    {"ListAndDrive", {"--list", "x"}},
    {"UnknownFlag", {"--fast", "x"}},
    {"BlankDrive", {"  "}},
};

void PrintTo(const UsageCase& usage, std::ostream* os) {
    *os << usage.name;
}

class CliBadUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(CliBadUsage, EndsWithStatusTwoAndOneLineWhy) {
    const ChildResult run = Cli(GetParam().args);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    const auto errors = Lines(run.err);
    ASSERT_EQ(errors.size(), 1u) << run.err;
    EXPECT_EQ(errors[0].rfind("klarvenor-cli: ", 0), 0u) << run.err;
}

INSTANTIATE_TEST_SUITE_P(Arguments, CliBadUsage, ::testing::ValuesIn(kBadUsage),
                         [](const auto& usage) { return std::string(usage.param.name); });

#ifndef _WIN32
// ---- What only a Linux machine can set up: big and read-only volumes, signals

/// A field of a flat JSON object line: a string's text or a number's digits; "" when absent.
std::string Field(const std::string& line, const std::string& key) {
    const std::regex pattern("\"" + key + "\":(\"((?:[^\"\\\\]|\\\\.)*)\"|[-0-9.eE+]+)");
    std::smatch match;
    if (!std::regex_search(line, match, pattern)) {
        return {};
    }
    return match[2].matched ? match[2].str() : match[1].str();
}

double Number(const std::string& line, const std::string& key) {
    const std::string text = Field(line, key);
    return text.empty() ? -1.0 : std::stod(text);
}

/// A tmpfs made read-only after it was mounted.
std::unique_ptr<TestVolume> ReadOnlyVolume(std::string& whyNot) {
    auto volume = MakeRamVolume(1u << 20, whyNot);
    if (volume &&
        ::mount(nullptr, volume->root().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
        whyNot = "cannot remount read-only";
        return nullptr;
    }
    return volume;
}

TEST(CliFailure, AReadOnlyVolumeIsNotClearedAndTheListLeavesItOut) {
    KLAR_REQUIRE_VOLUME(writable, MakeRamVolume, 1u << 20);
    std::string whyNot;
    auto readOnly = ReadOnlyVolume(whyNot);
    ASSERT_TRUE(readOnly) << whyNot;

    const ChildResult list = Cli({"--list"});
    EXPECT_EQ(list.status, 0) << list.err;
    const auto drives = Lines(list.out);
    EXPECT_NE(std::find(drives.begin(), drives.end(), writable->root()), drives.end());
    EXPECT_EQ(std::find(drives.begin(), drives.end(), readOnly->root()), drives.end());

    const TempFolder records;
    const ChildResult run =
        Cli({"--method", "single", "--report", records / "job.json", readOnly->driveText()});
    EXPECT_EQ(run.status, 1);
    const auto errors = Lines(run.err);
    ASSERT_EQ(errors.size(), 1u) << run.err;
    EXPECT_EQ(errors[0].rfind(NotClearedPrefix(readOnly->driveName()), 0), 0u) << run.err;
    const nlohmann::json record = Record(records / "job.json");
    ASSERT_TRUE(record.is_object());
    EXPECT_EQ(record["outcome"]["result"], "not_cleared");
    EXPECT_EQ(record["outcome"]["message"], errors[0]);
    EXPECT_FALSE(record["outcome"]["cause"].get<std::string>().empty());
}

/// Bytes of a file that are on the disk (a sparse image's holes are not).
std::uint64_t Allocated(const std::string& path) {
    struct stat sb {};
    return ::stat(path.c_str(), &sb) == 0 ? static_cast<std::uint64_t>(sb.st_blocks) * 512 : 0;
}

// The cleared space handed back to the device: on a loop device over a sparse image, the image
// shrinks back to about what the volume's files use and holds no more of the last pass's byte;
// with --no-trim it stays as the fill left it.
TEST(CliTrim, AfterTheLastPassTheImageFallsBackUnlessAskedNotTo) {
    for (const std::uint64_t size : {32ull << 20, 128ull << 20}) {
        for (const bool trim : {true, false}) {
            SCOPED_TRACE(std::to_string(size >> 20) + " MiB" + (trim ? "" : ", --no-trim"));
            std::string whyNot;
            auto volume = MakeImageVolume(size, whyNot, "ext4");
            if (!volume) {
                NoVolume(whyNot);
                return;
            }
            const std::uint64_t before = Allocated(volume->imagePath());
            const TempFolder records;
            std::vector<std::string> args = {"--method", "dod", "--report", records / "job.json"};
            if (!trim) {
                args.emplace_back("--no-trim");
            }
            args.push_back(volume->driveText());
            const ChildResult run = Cli(args);
            ASSERT_EQ(run.status, 0) << run.err;
            const nlohmann::json record = Record(records / "job.json");
            ASSERT_TRUE(record.is_object());
            volume->unmount();
            const std::uint64_t after = Allocated(volume->imagePath());
            const std::string image = AsText(ReadWholeFile(volume->imagePath()));
            const auto lastByte = std::count(image.begin(), image.end(), static_cast<char>(0x97));
            if (trim) {
                EXPECT_EQ(record["trim"]["way"], "free_space");
                EXPECT_GT(record["trim"]["bytes"].get<std::uint64_t>(), size / 2);
                EXPECT_LT(after, before + (4u << 20)) << "before the job: " << before;
                EXPECT_LT(lastByte, static_cast<long>(size / 16)) << "the fill is still there";
            } else {
                EXPECT_TRUE(record["trim"].is_null());
                EXPECT_GT(after, size * 3 / 4);
                EXPECT_GT(lastByte, static_cast<long>(size / 2));
            }
        }
    }
}

TEST(CliJson, EventsComeInOrderWithProgressRisingWithinEachPass) {
    // Big enough that a pass may last past a report or two on a fast machine.
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, 256u << 20);
    const ChildResult run = Cli({"--json", volume->driveText()});
    ASSERT_EQ(run.status, 0) << run.err;
    ExpectValidEvents(run.out);

    int pass = 0;
    bool inPass = false;
    double percent = -1;
    double remaining = 0;
    int progressEvents = 0; // of the pass
    const auto lines = Lines(run.out);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        SCOPED_TRACE(line);
        const std::string event = Field(line, "event");
        const bool last = i + 1 == lines.size();
        if (event == "pass_start") {
            EXPECT_FALSE(inPass);
            EXPECT_EQ(Number(line, "pass"), ++pass);
            EXPECT_EQ(Number(line, "passes"), 3);
            EXPECT_EQ(Field(line, "drive"), volume->driveText());
            inPass = true;
            progressEvents = 0;
            percent = -1;
            remaining = 1e300;
        } else if (event == "progress") {
            EXPECT_TRUE(inPass);
            EXPECT_EQ(Number(line, "pass"), pass);
            EXPECT_GE(Number(line, "percent"), percent);
            EXPECT_LE(Number(line, "remaining"), remaining);
            percent = Number(line, "percent");
            remaining = Number(line, "remaining");
            ++progressEvents;
        } else if (event == "pass_end") {
            EXPECT_TRUE(inPass);
            EXPECT_EQ(Number(line, "pass"), pass);
            EXPECT_GE(progressEvents, 2) << "the pass's first and last figures";
            EXPECT_GE(percent, 99.0) << "the pass's last figures show the volume full";
            EXPECT_GT(Number(line, "written"), 250e6);
            inPass = false;
        } else if (event == "trim") {
            EXPECT_FALSE(inPass);
            EXPECT_EQ(i + 2, lines.size()) << "the trim comes just before the message";
        } else {
            EXPECT_TRUE(last && event == "message");
            EXPECT_EQ(Field(line, "outcome"), "cleared");
            EXPECT_EQ(Field(line, "text"), Cleared(*volume));
        }
    }
    EXPECT_EQ(pass, 3);
    EXPECT_FALSE(inPass);
}

TEST(CliInterrupt, CtrlCAbortsTheJobDeletesItsFillersAndEndsWith130) {
    // A Guttman job of 35 passes lasts long after its first filler file appears.
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, 64u << 20);
    const TempFolder records;
    RunningChild child(CliPath(), {"--json", "--method", "guttman", "--report",
                                   records / "job.json", volume->driveText()});
    ASSERT_GT(child.pid(), 0);
    bool filling = false;
    for (int waited = 0; waited < 20000 && !filling; ++waited) {
        filling = !ListFolder(volume->root()).empty();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(filling) << "no filler file appeared";
    ::kill(child.pid(), SIGINT);
    const ChildResult run = child.Wait();

    EXPECT_EQ(run.status, 130) << run.err;
    EXPECT_EQ(ListFolder(volume->root()), std::vector<std::string>{}) << "filler files left";
    const auto lines = Lines(run.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(Field(lines.back(), "outcome"), "aborted");
    const auto passes = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
        return Field(line, "event") == "pass_start";
    });
    EXPECT_LT(passes, 35) << "the job ran to its end";
    const nlohmann::json record = Record(records / "job.json");
    ASSERT_TRUE(record.is_object());
    EXPECT_EQ(record["outcome"]["result"], "aborted");
    EXPECT_EQ(record["passes"].size(), static_cast<std::size_t>(passes));
}
#endif

} // namespace
} // namespace klar::test
