// Where free space and a file's bytes lie on the device: xfs's own free-space map and the
// file's extent map, both through the kernel's generic mapping queries.
#include "platform/posix/space_map.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <linux/fsmap.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

namespace klar {
namespace {

constexpr long kXfsMagic = 0x58465342;

/// The head of xfs's geometry (XFS_IOC_FSGEOMETRY_V1, a stable part of its ABI); only the
/// first fields are read.
struct XfsGeometryV1 {
    std::uint32_t blocksize;
    std::uint32_t rtextsize;
    std::uint32_t agblocks;
    std::uint32_t agcount;
    std::uint32_t logblocks;
    std::uint32_t sectsize;
    std::uint32_t inodesize;
    std::uint32_t imaxpct;
    std::uint64_t datablocks;
    std::uint64_t rtblocks;
    std::uint64_t rtextents;
    std::uint64_t logstart;
    unsigned char uuid[16];
    std::uint32_t sunit;
    std::uint32_t swidth;
    std::int32_t version;
    std::uint32_t flags;
    std::uint32_t logsectsize;
    std::uint32_t rtsectsize;
    std::uint32_t dirblocksize;
};
constexpr unsigned long kXfsGeometryV1 = _IOR('X', 100, XfsGeometryV1);

/// How the mapping query names a device (the kernel's new_encode_dev).
std::uint32_t MapDevice(dev_t dev) {
    const auto major = static_cast<std::uint32_t>(::major(dev));
    const auto minor = static_cast<std::uint32_t>(::minor(dev));
    return (minor & 0xffu) | (major << 8) | ((minor & ~0xffu) << 12);
}

} // namespace

std::optional<KeptSpace> XfsKeptSpace(int fd) {
    struct statfs fs {};
    struct stat sb {};
    XfsGeometryV1 geometry{};
    if (::fstatfs(fd, &fs) != 0 || static_cast<long>(fs.f_type) != kXfsMagic ||
        ::fstat(fd, &sb) != 0 || ::ioctl(fd, kXfsGeometryV1, &geometry) != 0 ||
        geometry.blocksize == 0 || geometry.agblocks == 0) {
        return std::nullopt;
    }
    KeptSpace kept;
    kept.blockBytes = geometry.blocksize;
    kept.groupBytes = static_cast<std::uint64_t>(geometry.agblocks) * geometry.blocksize;
    // Only the data device's, where files' bytes lie (a realtime device has no groups). The
    // query names devices as the system does, or by its own numbers (data first) where it
    // says so.
    constexpr unsigned kRecords = 128;
    std::vector<unsigned char> buffer(fsmap_sizeof(kRecords));
    auto* head = reinterpret_cast<fsmap_head*>(buffer.data());
    head->fmh_count = kRecords;
    head->fmh_keys[1].fmr_device = UINT32_MAX;
    head->fmh_keys[1].fmr_physical = UINT64_MAX;
    head->fmh_keys[1].fmr_owner = UINT64_MAX;
    head->fmh_keys[1].fmr_offset = UINT64_MAX;
    head->fmh_keys[1].fmr_flags = UINT32_MAX;
    std::optional<std::uint32_t> device;
    for (;;) {
        if (::ioctl(fd, FS_IOC_GETFSMAP, head) != 0) {
            kept.free.clear();
            kept.listed = false;
            return kept;
        }
        if (!device && head->fmh_entries > 0) {
            device = (head->fmh_oflags & FMH_OF_DEV_T) != 0 ? MapDevice(sb.st_dev)
                                                            : head->fmh_recs[0].fmr_device;
        }
        for (unsigned i = 0; i < head->fmh_entries; ++i) {
            const fsmap& record = head->fmh_recs[i];
            if (record.fmr_owner == FMR_OWN_FREE && record.fmr_device == device) {
                kept.free.push_back({record.fmr_physical, record.fmr_length});
            }
        }
        if (head->fmh_entries == 0 ||
            (head->fmh_recs[head->fmh_entries - 1].fmr_flags & FMR_OF_LAST) != 0) {
            return kept;
        }
        head->fmh_keys[0] = head->fmh_recs[head->fmh_entries - 1]; // go on after it
    }
}

bool WrittenExtents(int fd, std::vector<FillerExtent>& out) {
    out.clear();
    constexpr unsigned kExtents = 256;
    std::vector<unsigned char> buffer(sizeof(fiemap) + kExtents * sizeof(fiemap_extent));
    auto* map = reinterpret_cast<fiemap*>(buffer.data());
    // Bytes not yet placed, or placed and not written, hold no fill.
    constexpr std::uint32_t kNotFill =
        FIEMAP_EXTENT_UNKNOWN | FIEMAP_EXTENT_DELALLOC | FIEMAP_EXTENT_ENCODED |
        FIEMAP_EXTENT_DATA_ENCRYPTED | FIEMAP_EXTENT_NOT_ALIGNED | FIEMAP_EXTENT_DATA_INLINE |
        FIEMAP_EXTENT_DATA_TAIL | FIEMAP_EXTENT_UNWRITTEN | FIEMAP_EXTENT_SHARED;
    std::uint64_t from = 0;
    std::uint32_t flags = FIEMAP_FLAG_SYNC;
    for (;;) {
        std::fill(buffer.begin(), buffer.end(), 0);
        map->fm_start = from;
        map->fm_length = FIEMAP_MAX_OFFSET - from;
        map->fm_flags = flags;
        map->fm_extent_count = kExtents;
        if (::ioctl(fd, FS_IOC_FIEMAP, map) != 0) {
            return false;
        }
        flags = 0; // forced out once is enough
        if (map->fm_mapped_extents == 0) {
            return true;
        }
        for (unsigned i = 0; i < map->fm_mapped_extents; ++i) {
            const fiemap_extent& extent = map->fm_extents[i];
            if ((extent.fe_flags & kNotFill) == 0) {
                out.push_back({extent.fe_logical, extent.fe_physical, extent.fe_length});
            }
            if ((extent.fe_flags & FIEMAP_EXTENT_LAST) != 0) {
                return true;
            }
            from = extent.fe_logical + extent.fe_length;
        }
    }
}

} // namespace klar
