#include "child_process.h"
#include "test_volume.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace klar::test {
namespace {

std::string TempFile(const char* pattern) {
    std::string path = (std::filesystem::temp_directory_path() / pattern).string();
    const int fd = ::mkstemp(path.data());
    if (fd >= 0) {
        ::close(fd);
    }
    return path;
}

} // namespace

std::string InChild(const std::function<std::string()>& work, int bound) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        return "pipe failed";
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        const std::string said = work();
        (void)!::write(pipeEnds[1], said.data(), said.size());
        ::_exit(0);
    }
    ::close(pipeEnds[1]);
    std::string said;
    char buffer[512];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(bound);
    bool hung = false;
    for (;;) {
        pollfd ready{pipeEnds[0], POLLIN, 0};
        if (::poll(&ready, 1, 100) > 0) {
            const ssize_t n = ::read(pipeEnds[0], buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            said.append(buffer, static_cast<std::size_t>(n));
        } else if (std::chrono::steady_clock::now() > deadline) {
            hung = true;
            ::kill(child, SIGKILL);
            break;
        }
    }
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (hung) {
        return said + "|hung";
    }
    if (WIFSIGNALED(status)) {
        said += "|signal " + std::to_string(WTERMSIG(status));
    }
    return said;
}

RunningChild::RunningChild(const std::string& program, const std::vector<std::string>& args)
    : outPath_(TempFile("klar-child-out-XXXXXX")), errPath_(TempFile("klar-child-err-XXXXXX")) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath_.c_str(), O_WRONLY | O_TRUNC, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errPath_.c_str(), O_WRONLY | O_TRUNC, 0);
    pid_t pid = -1;
    if (::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
        pid_ = pid;
    }
    posix_spawn_file_actions_destroy(&actions);
}

RunningChild::~RunningChild() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        Wait();
    }
    std::remove(outPath_.c_str());
    std::remove(errPath_.c_str());
}

ChildResult RunningChild::Wait() {
    ChildResult result;
    if (pid_ > 0) {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        pid_ = -1;
    }
    const auto read = [](const std::string& path) {
        const auto bytes = ReadWholeFile(path);
        return std::string(bytes.begin(), bytes.end());
    };
    result.out = read(outPath_);
    result.err = read(errPath_);
    return result;
}

ChildResult RunChild(const std::string& program, const std::vector<std::string>& args) {
    return RunningChild(program, args).Wait();
}

} // namespace klar::test
