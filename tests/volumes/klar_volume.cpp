// klar-volume: the volumes of the tests for the scripts (scripts/bench.sh, scripts/efficacy.sh,
// scripts/windows-test.sh), so that they make and take down the very same volumes.
#include "volume_folder.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: klar-volume make FILESYSTEM SIZE DIR [--direct-io]  makes and mounts, prints where\n"
    "       klar-volume unmount DIR                             takes it down, keeps the image\n"
    "       klar-volume remove DIR                              takes it down, deletes it\n"
    "       klar-volume map WINEPREFIX PATH                     links a free drive letter to\n"
    "                                                           PATH, prints the letter\n"
    "FILESYSTEM is tmpfs, ext2, ext4, xfs, xfs-8ag (8 allocation groups), btrfs, vfat or\n"
    "ntfs; SIZE is bytes, or a number with K, M or G. The image is DIR/volume.img, mounted\n"
    "at DIR/mnt; DIR must exist.\n";

int Fail(const std::string& why) {
    std::fprintf(stderr, "klar-volume: %s\n", why.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto usage = [] {
        std::fputs(kUsage, stderr);
        return 2;
    };
    if (args.empty()) {
        return usage();
    }
    const std::string& command = args[0];
    std::string whyNot;
    // Absolute: a FUSE driver leaves the folder it was started in.
    const auto folder = [&](const std::string& dir) {
        return std::filesystem::absolute(dir).lexically_normal().string();
    };
    if (command == "make" && (args.size() == 4 || (args.size() == 5 && args[4] == "--direct-io"))) {
        const klar::test::VolumeRequest request{args[1], klar::test::ParseSize(args[2]),
                                                args.size() == 5};
        if (request.bytes == 0) {
            return usage();
        }
        const std::string mountPoint = klar::test::MakeVolumeIn(folder(args[3]), request, whyNot);
        if (mountPoint.empty()) {
            return Fail(whyNot);
        }
        std::printf("%s\n", mountPoint.c_str());
        return 0;
    }
    if (command == "unmount" && args.size() == 2) {
        return klar::test::UnmountVolumeIn(folder(args[1]), whyNot) ? 0 : Fail(whyNot);
    }
    if (command == "remove" && args.size() == 2) {
        return klar::test::RemoveVolumeIn(folder(args[1]), whyNot) ? 0 : Fail(whyNot);
    }
    if (command == "map" && args.size() == 3) {
        const char letter = klar::test::MapDriveLetter(args[1], folder(args[2]), whyNot);
        if (letter == '\0') {
            return Fail(whyNot);
        }
        std::printf("%c\n", letter);
        return 0;
    }
    return usage();
}
