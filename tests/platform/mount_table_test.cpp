// The drive string of a POSIX system: the mount points of real filesystems from the mount table,
// in table order, each followed by a NUL, with one more NUL at the end.
#include "job_rig.h"
#include "platform/posix/mount_table.h"
#include "temp_folder.h"

#include <cstring>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

namespace klar::test {
namespace {

/// The entries of a drive string; fails the test when its NUL format is wrong.
std::vector<std::string> Entries(const std::string& driveString) {
    std::vector<std::string> entries;
    if (driveString.empty()) {
        return entries;
    }
    EXPECT_GE(driveString.size(), 2u);
    EXPECT_EQ(driveString.substr(driveString.size() - 2), std::string(2, '\0'))
        << "the last entry's NUL and a final NUL";
    std::size_t start = 0;
    while (start < driveString.size() - 1) {
        const std::size_t end = driveString.find('\0', start);
        entries.push_back(driveString.substr(start, end - start));
        EXPECT_FALSE(entries.back().empty()) << "an empty entry ends the list early";
        start = end + 1;
    }
    return entries;
}

TEST(MountTable, OffersRealMountPointsInTableOrderWithEscapesDecoded) {
    TempFolder folder;
    const std::string mounts = folder / "mounts";
    WriteWholeFile(mounts, "proc /proc proc rw,relatime 0 0\n"
                           "sysfs /sys sysfs rw 0 0\n"
                           "/dev/vda1 / ext4 rw,relatime 0 0\n"
                           "devtmpfs /dev devtmpfs rw 0 0\n"
                           "tmpfs /dev/shm tmpfs rw 0 0\n"
                           "devpts /dev/pts devpts rw 0 0\n"
                           "tmpfs /run tmpfs rw 0 0\n"
                           "tmpfs /run/user/1000 tmpfs rw 0 0\n"
                           "/dev/sdf1 /run/media/ann/STICK vfat rw 0 0\n"
                           "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
                           "fusectl /sys/fs/fuse/connections fusectl rw 0 0\n"
                           "/dev/sdb1 /media/my\\040usb vfat rw 0 0\n"
                           "tmpfs /tmp tmpfs rw 0 0\n"
                           "/dev/sdc1 /devices ext4 rw 0 0\n"
                           "/dev/sdd1 /mnt/tab\\011and\\134slash ext4 rw 0 0\n"
                           "/dev/loop3 /snap/core/1 squashfs ro 0 0\n"
                           "/dev/sde1 /home ext4 rw 0 0\n");

    const std::string drives = mountPointDriveString(mounts);

    EXPECT_EQ(Entries(drives),
              (std::vector<std::string>{"/", "/run/media/ann/STICK", "/media/my usb", "/tmp",
                                        "/devices", "/mnt/tab\tand\\slash", "/home"}));
}

TEST(MountTable, OffersWritableDisksOfEveryKindAndLeavesOutReadOnlyOnes) {
    TempFolder folder;
    const std::string mounts = folder / "mounts";
    WriteWholeFile(mounts, "/dev/sdb1 /run/media/ann/WIN fuseblk rw,user_id=0 0 0\n"
                           "/dev/sdc1 /media/ann/data btrfs rw,relatime 0 0\n"
                           "/dev/sdd1 /srv/xfs xfs rw,noatime 0 0\n"
                           "/dev/sr0 /media/ann/CDROM iso9660 ro,nosuid 0 0\n"
                           "/dev/sde1 /mnt/backup ext4 ro,relatime 0 0\n"
                           "/dev/sdf1 /mnt/theirs ext4 rw 0 0\n"
                           "gvfsd-fuse /run/user/1000/gvfs fuse.gvfsd-fuse rw 0 0\n"
                           "portal /run/user/1000/doc fuse.portal rw 0 0\n"
                           "/dev/sda1 / ext4 rw,relatime,errors=remount-ro 0 0\n");

    const std::string drives = mountPointDriveString(
        mounts, [](const std::string& path) { return path != "/mnt/theirs"; });

    EXPECT_EQ(Entries(drives),
              (std::vector<std::string>{"/run/media/ann/WIN", "/media/ann/data", "/srv/xfs", "/"}));
}

TEST(MountTable, NothingToOfferGivesAnEmptyString) {
    TempFolder folder;
    const std::string mounts = folder / "mounts";
    WriteWholeFile(mounts, "proc /proc proc rw 0 0\nsysfs /sys sysfs rw 0 0\n");
    EXPECT_EQ(mountPointDriveString(mounts), "");
    EXPECT_EQ(mountPointDriveString(folder / "missing"), "");
}

TEST(MountTable, SystemTableListsATmpfsThisTestMounted) {
    KLAR_REQUIRE_VOLUME(volume, MakeRamVolume, 64u << 10);
    const auto entries = Entries(mountPointDriveString("/proc/self/mounts"));
    EXPECT_NE(std::find(entries.begin(), entries.end(), volume->root()), entries.end());
    EXPECT_EQ(std::find(entries.begin(), entries.end(), "/proc"), entries.end());
    EXPECT_EQ(std::find(entries.begin(), entries.end(), "/sys"), entries.end());
}

TEST(MountTable, SystemTableDecodesASpaceInAMountPoint) {
    if (::geteuid() != 0) {
        NoVolume("mounting a tmpfs needs root");
        return;
    }
    TempFolder folder;
    const std::string mountPoint = folder / "my drive";
    ASSERT_TRUE(std::filesystem::create_directory(mountPoint));
    ASSERT_EQ(::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k"), 0)
        << std::strerror(errno);

    const auto entries = Entries(mountPointDriveString("/proc/self/mounts"));
    ::umount2(mountPoint.c_str(), MNT_DETACH);

    EXPECT_NE(std::find(entries.begin(), entries.end(), mountPoint), entries.end());
}

} // namespace
} // namespace klar::test
