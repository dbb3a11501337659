#pragma once

#include "platform/platform.h"
#include "platform/posix/unique_fd.h"

#include <cstdint>
#include <map>
#include <string>
#include <sys/statfs.h>
#include <utility>

namespace klar {

/// ext4's pool of reserved clusters (/sys/fs/ext4/<device>/reserved_clusters): space that no
/// ordinary write may take, and where the kernel puts blocks that small deleted files freed.
/// Root lifts it to 0 for a fill. A note in the state folder, locked while the pool is lifted,
/// holds the old value, so that the next start gives it back if this process dies, and so that
/// no job lifts it while another holds it.
/// The control file of ext4's pool for the volume holding root
/// (/sys/fs/ext4/<device>/reserved_clusters); empty where the volume has no device.
std::string Ext4PoolFile(const std::string& root);

class Ext4ReservePool {
public:
    Ext4ReservePool() = default;
    ~Ext4ReservePool();
    Ext4ReservePool(const Ext4ReservePool&) = delete;
    Ext4ReservePool& operator=(const Ext4ReservePool&) = delete;

    HeldBack lift(const std::string& root);
    /// Writes the old value back; the note stays for the next start when that fails.
    void restore();
    /// Gives back every pool that a job of an earlier run lifted and did not restore.
    static void restoreLeftovers();

    /// The bytes the pool holds now on the ext4 volume holding root (fs: its statfs): free
    /// space that root's writes cannot take either. Read once per volume, since only lift and
    /// restore change it; 0 where there is no pool or nothing says how large it is.
    std::uint64_t inPlace(const std::string& root, const struct statfs& fs);

private:
    using VolumeKey = std::pair<int, int>; ///< statfs's f_fsid
    std::map<VolumeKey, std::uint64_t> inPlace_;

    std::string control_; ///< the reserved_clusters file of the lifted pool
    std::string folder_;  ///< the state folder holding its note
    std::string note_;    ///< the note's name there
    std::string oldValue_;
    UniqueFd lock_; ///< the note, locked while the pool is lifted
};

} // namespace klar
