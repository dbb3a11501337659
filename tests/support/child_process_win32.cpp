#include "child_process.h"
#include "test_volume.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <process.h>

namespace klar::test {
namespace {

std::string TempFile(const char* kind) {
    static std::atomic<int> counter{0};
    const std::string name = std::string("klar-child-") + kind + "-" + std::to_string(::_getpid()) +
                             "-" + std::to_string(++counter);
    return (std::filesystem::temp_directory_path() / name).string();
}

std::string Quoted(const std::string& arg) {
    return "\"" + arg + "\"";
}

} // namespace

// Through the command interpreter, which redirects the output into files; the paths the tests
// use hold no quotes.
ChildResult RunChild(const std::string& program, const std::vector<std::string>& args) {
    const std::string outPath = TempFile("out");
    const std::string errPath = TempFile("err");
    std::string command = Quoted(program);
    for (const std::string& arg : args) {
        command += " " + Quoted(arg);
    }
    command += " <NUL >" + Quoted(outPath) + " 2>" + Quoted(errPath);
    ChildResult result;
    // cmd /c drops the first and the last quote of a line that starts with one.
    result.status = std::system(("\"" + command + "\"").c_str());
    const auto read = [](const std::string& path) {
        const auto bytes = ReadWholeFile(path);
        std::remove(path.c_str());
        return std::string(bytes.begin(), bytes.end());
    };
    result.out = read(outPath);
    result.err = read(errPath);
    return result;
}

} // namespace klar::test
