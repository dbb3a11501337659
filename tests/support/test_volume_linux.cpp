#include "test_volume.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/mount.h>
#include <unistd.h>

namespace klar::test {
namespace fs = std::filesystem;
namespace {

std::string MakeTempFolder(const char* pattern) {
    std::string path = (fs::temp_directory_path() / pattern).string();
    if (::mkdtemp(path.data()) == nullptr) {
        return {};
    }
    return path;
}

class TmpfsVolume final : public TestVolume {
public:
    explicit TmpfsVolume(std::string mountPoint) : root_(std::move(mountPoint)) {}
    ~TmpfsVolume() override {
        ::umount2(root_.c_str(), MNT_DETACH);
        ::rmdir(root_.c_str());
    }
    const std::string& root() const override { return root_; }
    const std::string& driveText() const override { return root_; }
    std::string driveName() const override { return root_; }

private:
    std::string root_;
};

class LoopImageVolume final : public ImageVolume {
public:
    LoopImageVolume(std::string folder, std::string image, std::string mountPoint)
        : folder_(std::move(folder)), image_(std::move(image)), root_(std::move(mountPoint)) {}
    ~LoopImageVolume() override {
        unmount();
        if (mounted_) {
            // Still busy (a failing test left a file open): detach it lazily, so that no mount
            // outlives the test run.
            const std::string cmd = "umount -l -d '" + root_ + "' 2>/dev/null";
            mounted_ = std::system(cmd.c_str()) != 0;
        }
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }
    const std::string& root() const override { return root_; }
    const std::string& driveText() const override { return root_; }
    std::string driveName() const override { return root_; }
    const std::string& imagePath() const override { return image_; }
    void unmount() override {
        if (mounted_) {
            // umount -d also detaches the loop device that mount -o loop attached; a FUSE
            // driver writes its last data before its unmount returns.
            const std::string cmd = "umount -d '" + root_ + "' 2>/dev/null";
            mounted_ = std::system(cmd.c_str()) != 0;
        }
    }
    bool mount() override {
        if (!mounted_) {
            mounted_ = std::system(mountCommand_.c_str()) == 0;
        }
        return mounted_;
    }
    void setMountCommand(std::string command) { mountCommand_ = std::move(command); }

private:
    std::string folder_;
    std::string image_;
    std::string root_;
    std::string mountCommand_;
    bool mounted_ = false;
};

struct Filesystem {
    const char* name;
    const char* mkfs;  ///< the image's path follows
    const char* mount; ///< the image's and the mount point's paths follow
    std::uint64_t least;
};

// An image smaller than its mkfs accepts is made at that least size (xfsprogs 6.1 and
// btrfs-progs 6.2 here). ext2 keeps no root reserve, so that root and every other user see the
// same free space.
constexpr Filesystem kFilesystems[] = {
    {"ext2", "mkfs.ext2 -q -F -m 0", "mount -o loop", 1u << 20},
    {"ext4", "mkfs.ext4 -q -F -E lazy_itable_init=0,lazy_journal_init=0", "mount -o loop",
     2u << 20},
    {"xfs", "mkfs.xfs -q -f", "mount -o loop", 300u << 20},
    // Not --mixed: a mixed btrfs keeps a reserve it reports free but never lets data have.
    {"btrfs", "mkfs.btrfs -q -f", "mount -o loop", 110u << 20},
    {"vfat", "mkfs.vfat", "fusefat -o rw+,allow_other", 1u << 20},
    // Through a loop device, so that the kernel sees a block device (fuseblk) and an unmount
    // waits until the driver has written everything to the image.
    {"ntfs", "mkfs.ntfs -q -F -f",
     "ntfs_3g_loop() { d=$(losetup -f --show \"$1\") && "
     "{ ntfs-3g \"$d\" \"$2\" || { losetup -d \"$d\"; false; }; }; }; "
     "ntfs_3g_loop",
     2u << 20},
};

} // namespace

std::unique_ptr<TestVolume> MakeRamVolume(std::uint64_t bytes, std::string& whyNot) {
    if (::geteuid() != 0) {
        whyNot = "mounting a tmpfs needs root";
        return nullptr;
    }
    const std::string folder = MakeTempFolder("klar-tmpfs-XXXXXX");
    if (folder.empty()) {
        whyNot = std::string("mkdtemp: ") + std::strerror(errno);
        return nullptr;
    }
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        whyNot = std::string("mount -t tmpfs: ") + std::strerror(errno);
        ::rmdir(folder.c_str());
        return nullptr;
    }
    return std::make_unique<TmpfsVolume>(folder);
}

std::unique_ptr<ImageVolume> MakeImageVolume(std::uint64_t bytes, std::string& whyNot,
                                             const std::string& filesystem) {
    const Filesystem* kind = nullptr;
    for (const Filesystem& candidate : kFilesystems) {
        if (filesystem == candidate.name) {
            kind = &candidate;
        }
    }
    if (kind == nullptr) {
        whyNot = "no test images of " + filesystem;
        return nullptr;
    }
    if (::geteuid() != 0) {
        whyNot = "loop-mounting an image needs root";
        return nullptr;
    }
    const std::string folder = MakeTempFolder("klar-image-XXXXXX");
    if (folder.empty()) {
        whyNot = std::string("mkdtemp: ") + std::strerror(errno);
        return nullptr;
    }
    const std::string image = folder + "/volume.img";
    const std::string mountPoint = folder + "/mnt";
    auto volume = std::make_unique<LoopImageVolume>(folder, image, mountPoint);
    std::error_code ec;
    fs::create_directory(mountPoint, ec);
    {
        // A sparse image: unwritten blocks read as zeros, as on a fresh disk.
        std::FILE* f = std::fopen(image.c_str(), "wb");
        const auto size = static_cast<off_t>(std::max(bytes, kind->least));
        if (f == nullptr || ::ftruncate(::fileno(f), size) != 0) {
            whyNot = "cannot create the image file";
            if (f != nullptr) {
                std::fclose(f);
            }
            return nullptr;
        }
        std::fclose(f);
    }
    const std::string mkfs = std::string(kind->mkfs) + " '" + image + "' >/dev/null 2>&1";
    if (std::system(mkfs.c_str()) != 0) {
        whyNot = std::string(kind->mkfs) + " failed (see scripts/deps.sh)";
        return nullptr;
    }
    volume->setMountCommand(std::string(kind->mount) + " '" + image + "' '" + mountPoint +
                            "' >/dev/null 2>&1");
    if (!volume->mount()) {
        whyNot = std::string(kind->mount) + " failed (no loop device or FUSE?)";
        return nullptr;
    }
    return volume;
}

} // namespace klar::test
