// klarvenor-cli: one clearing job from a command line. See cli.h.
#include "cli/cli.h"
#include "platform/termination.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#define KLAR_ISATTY _isatty
#define KLAR_FILENO _fileno
#else
#include <unistd.h>
#define KLAR_ISATTY isatty
#define KLAR_FILENO fileno
#endif

int main(int argc, char** argv) {
    klar::InstallTerminationHandlers();
    const std::vector<std::string> args(argv + 1, argv + argc);
    auto platform = klar::makeSystemPlatform();
    const bool terminal = KLAR_ISATTY(KLAR_FILENO(stdout)) != 0;
    return klar::cli::RunCli(args, *platform, stdout, stderr, terminal);
}
