// The state folder as a hostile local user would shape it: journals planted or pointed through
// links, a folder of another user's, a FIFO, a journal of gigabytes, and jobs killed on paths a
// line-per-record journal could not hold. No file of the user's changes, every start ends, and
// every filler of a killed job is gone after the next start or was never made.
#include "child_process.h"
#include "engine/journal.h"
#include "job_rig.h"
#include "temp_folder.h"

#include <csignal>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace klar::test {
namespace {
namespace fs = std::filesystem;

/// One row's world: a volume with the user's files, and a home for the state folder.
struct World {
    std::unique_ptr<TestVolume> volume;
    TempFolder home;
    std::string state; ///< the state folder in home
    std::map<std::string, std::string> userFiles;

    std::string UserFile(const std::string& name, const std::string& content) {
        const std::string path = JoinPath(volume->root(), name);
        WriteWholeFile(path, content);
        userFiles[path] = content;
        return path;
    }
};

FileId IdOf(const std::string& path) {
    struct stat sb {};
    ::lstat(path.c_str(), &sb);
    return {static_cast<std::uint64_t>(sb.st_dev), static_cast<std::uint64_t>(sb.st_ino)};
}

std::string FolderRecord(const std::string& path) {
    struct stat sb {};
    ::stat(path.c_str(), &sb);
    return "folder " + std::to_string(sb.st_dev) + " " + std::to_string(sb.st_ino) + " " + path +
           "\n";
}

/// A journal's record of a filler that holds fill: announced and made with its identity.
std::string FillerRecord(const std::string& path, char fill) {
    const FileId id = IdOf(path);
    const std::string name = fs::path(path).filename().string();
    return "next " + std::to_string(static_cast<unsigned char>(fill)) + " " + name + "\nmade " +
           std::to_string(id.volume) + " " + std::to_string(id.index) + " " + name + "\n";
}

void PlantJournal(const std::string& folder, const std::string& name, const std::string& body) {
    fs::create_directories(folder);
    ::chmod(folder.c_str(), 0700);
    WriteWholeFile(folder + "/" + name, "klarvenor journal 2\n" + body);
    ::chmod((folder + "/" + name).c_str(), 0600);
}

/// The program's start in a child process, with the world's home as its state home; what it
/// tells the user.
std::string Start(const World& world) {
    return InChild(
        [&] {
            ::setenv("XDG_STATE_HOME", world.home.path().c_str(), 1);
            return CleanUpAfterDeadJobs(*makeSystemPlatform());
        },
        60);
}

/// A single sweep in a child process from folder `cwd`, killed with SIGKILL at the first yield
/// for which `killNow` holds.
std::string KilledJob(const World& world, const std::string& cwd, const std::string& drive,
                      const std::function<bool(JobRig&)>& killNow) {
    return InChild([&] {
        ::setenv("XDG_STATE_HOME", world.home.path().c_str(), 1);
        if (::chdir(cwd.c_str()) != 0) {
            return std::string("no cwd");
        }
        JobRig rig(drive, {4096, 16 * 4096}, nullptr, world.state);
        rig.view.check(MethodBox::Single);
        rig.view.onYield = [&] {
            if (killNow(rig)) {
                ::kill(::getpid(), SIGKILL);
            }
        };
        rig.engine.Command5_Click();
        return rig.view.messages.empty() ? std::string("no message") : rig.view.messages[0];
    });
}

std::string JobWithState(const World& world, const std::string& stateFolder) {
    return InChild([&] {
        JobRig rig(world.volume->driveText(), {}, nullptr, stateFolder);
        rig.view.check(MethodBox::Single);
        rig.engine.Command5_Click();
        return rig.view.messages.empty() ? std::string("no message") : rig.view.messages[0];
    });
}

struct Row {
    const char* what;
    bool needsRoot;
    /// Shapes the world, runs what it must, and returns what the user was told; the row's
    /// checks are `said` holding each of `mentions`, and the volume's fillers all gone.
    std::function<std::string(World&)> run;
    std::vector<std::string> mentions;
};

const std::vector<Row>& Rows() {
    static const std::vector<Row> rows = {
        {"a journal of this user's names the user's own files, by identity and bytes",
         false,
         [](World& w) {
             std::string body = FolderRecord(w.volume->root());
             body += FillerRecord(w.UserFile("notes.txt", ""), 0);
             body += FillerRecord(w.UserFile("disk.img", std::string(70'000, '\0')), 0);
             body += FillerRecord(w.UserFile("letters.txt", std::string(5'000, 'a')), 'a');
             PlantJournal(w.state, "job-1.journal", body);
             return Start(w);
         },
         {}},
        {"the journal's folder is now a link to another folder holding a filler's twin",
         false,
         [](World& w) {
             const std::string a = JoinPath(w.volume->root(), "a");
             const std::string b = JoinPath(w.volume->root(), "b");
             fs::create_directories(a);
             fs::create_directories(b);
             const std::string twin = w.UserFile("b/00000001.txt", std::string(9'000, 'x'));
             std::string body = FolderRecord(a);
             fs::remove(a);
             fs::create_directory_symlink(b, a);
             body += FillerRecord(twin, 'x');
             PlantJournal(w.state, "job-1.journal", body);
             return Start(w);
         },
         {"cannot be reached now"}},
        {"a FIFO in a journal's name",
         false,
         [](World& w) {
             fs::create_directories(w.state);
             ::chmod(w.state.c_str(), 0700);
             ::mkfifo((w.state + "/job-9.journal").c_str(), 0600);
             return Start(w);
         },
         {"job-9.journal (it is not a plain file)"}},
        {"a sparse journal of 6 GiB",
         false,
         [](World& w) {
             PlantJournal(w.state, "job-8.journal", "");
             fs::resize_file(w.state + "/job-8.journal", 6ull << 30);
             return Start(w);
         },
         {"job-8.journal (it is larger than any journal of ours)"}},
        {"the state folder is a link",
         false,
         [](World& w) {
             const std::string elsewhere = w.home / "elsewhere";
             PlantJournal(elsewhere, "job-1.journal", "");
             fs::create_directory_symlink(elsewhere, w.state);
             return Start(w) + "|" + JobWithState(w, w.state);
         },
         {"(it is a link)", "not fully cleared: the journal of filler files cannot be written"}},
        {"root with another user's state folder, which names a root-only file",
         true,
         [](World& w) {
             const std::string victim = w.UserFile("00000007.txt", std::string(3'000, 'r'));
             ::chmod(victim.c_str(), 0600);
             PlantJournal(w.state, "job-1.journal",
                          FolderRecord(w.volume->root()) + FillerRecord(victim, 'r'));
             for (const std::string& path : {w.home.path(), w.state, w.state + "/job-1.journal"}) {
                 (void)!::chown(path.c_str(), 65534, 65534);
             }
             return Start(w);
         },
         {"belongs to another user, so the administrator's own"}},
        {"a read-only state folder",
         true,
         [](World& w) {
             (void)!::mount("klar", w.home.path().c_str(), "tmpfs", MS_RDONLY, "size=1m");
             const std::string said = JobWithState(w, w.state);
             ::umount2(w.home.path().c_str(), MNT_DETACH);
             return said;
         },
         {"cannot be written in", "(Read-only file system)"}},
        {"SIGKILL mid-fill, the drive given relative to the job's folder",
         false,
         [](World& w) {
             fs::create_directories(JoinPath(w.volume->root(), "s2"));
             const std::string killed = KilledJob(w, w.volume->root(), "s2", [](JobRig& rig) {
                 return rig.state.gPassFiles.size() > 2;
             });
             return killed + "|" + Start(w);
         },
         {"|signal 9", "They were removed."}},
        {"SIGKILL mid-fill, a newline and spaces in the drive's path",
         false,
         [](World& w) {
             const std::string odd = JoinPath(w.volume->root(), " a\nb ");
             fs::create_directories(odd);
             const std::string killed = KilledJob(
                 w, "/", odd, [](JobRig& rig) { return rig.state.gPassFiles.size() > 2; });
             return killed + "|" + Start(w);
         },
         {"|signal 9", "They were removed."}},
        {"SIGKILL as the small-file stage begins",
         false,
         [](World& w) {
             // The second yield after the fill ends is the stage's first.
             const std::string killed =
                 KilledJob(w, "/", w.volume->root(), [yields = 0](JobRig& rig) mutable {
                     return rig.state.gDriveFull && ++yields == 2;
                 });
             return killed + "|" + Start(w);
         },
         {"|signal 9", "They were removed."}},
    };
    return rows;
}

TEST(HostileState, NoUserFileChangesEveryStartEndsAndNoFillerIsStranded) {
    for (const std::uint64_t size : {4ull << 20, 16ull << 20}) {
        for (const Row& row : Rows()) {
            SCOPED_TRACE(std::string(row.what) + " on " + std::to_string(size >> 20) + " MiB");
            if (row.needsRoot && ::geteuid() != 0) {
                continue;
            }
            World world;
            std::string whyNot;
            world.volume = MakeRamVolume(size, whyNot);
            if (!world.volume) {
                NoVolume(whyNot);
                return;
            }
            world.state = world.home / "klarvenor";
            const std::string said = row.run(world);
            EXPECT_EQ(said.find("|hung"), std::string::npos) << said;
            for (const std::string& mention : row.mentions) {
                EXPECT_NE(said.find(mention), std::string::npos) << said;
            }
            for (const auto& [path, content] : world.userFiles) {
                EXPECT_EQ(AsText(ReadWholeFile(path)), content) << path;
            }
            std::vector<std::string> fillers;
            for (const auto& entry : fs::recursive_directory_iterator(world.volume->root())) {
                const std::string name = entry.path().filename().string();
                if (IsFillerName(name) && world.userFiles.count(entry.path().string()) == 0) {
                    fillers.push_back(entry.path().string());
                }
            }
            EXPECT_EQ(fillers, std::vector<std::string>{}) << said;
        }
    }
}

} // namespace
} // namespace klar::test
