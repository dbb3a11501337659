// Free space that a filesystem keeps for its own use. xfs holds a count of free blocks back in
// each allocation group for its own trees; a fill ends with that many blocks of each group
// free, and whichever blocks they are keep what they held. The count cannot be taken, but the
// blocks it falls on can be chosen: free as many blocks of the fill in the group and write them
// again at once, and the filesystem, which gives a new write the free blocks it had before
// those freed a moment ago, places the writes on the blocks it kept.
#include "engine/engine.h"
#include "engine/pass_failure.h"

#include <algorithm>
#include <map>

namespace klar {
namespace {

/// A block that a round could not reach (a write placed elsewhere, the freed blocks handed
/// out early) gets another round, a few at most.
constexpr int kKeptSpaceRounds = 3;

/// Blocks written at once while the free space has runs that long: a few hundred KiB.
constexpr std::uint64_t kRunBlocks = 64;

std::vector<DeviceRange> Merged(std::vector<DeviceRange> ranges) {
    std::sort(ranges.begin(), ranges.end(),
              [](const DeviceRange& a, const DeviceRange& b) { return a.start < b.start; });
    std::vector<DeviceRange> merged;
    for (const DeviceRange& range : ranges) {
        if (!merged.empty() && range.start <= merged.back().start + merged.back().length) {
            DeviceRange& last = merged.back();
            last.length =
                std::max(last.start + last.length, range.start + range.length) - last.start;
        } else if (range.length > 0) {
            merged.push_back(range);
        }
    }
    return merged;
}

/// The bytes of the free ranges that lie outside every reached range.
std::uint64_t Outside(const std::vector<DeviceRange>& free,
                      const std::vector<DeviceRange>& reached) {
    const std::vector<DeviceRange> merged = Merged(reached);
    std::uint64_t outside = 0;
    for (const DeviceRange& range : free) {
        const std::uint64_t end = range.start + range.length;
        auto at = std::upper_bound(
            merged.begin(), merged.end(), range.start,
            [](std::uint64_t start, const DeviceRange& r) { return start < r.start; });
        if (at != merged.begin()) {
            --at;
        }
        std::uint64_t covered = 0;
        for (; at != merged.end() && at->start < end; ++at) {
            const std::uint64_t from = std::max(range.start, at->start);
            const std::uint64_t to = std::min(end, at->start + at->length);
            covered += to > from ? to - from : 0;
        }
        outside += range.length - covered;
    }
    return outside;
}

} // namespace

bool Engine::KeepsWhatItRefused() {
    // xfs refuses a write once every group is down to what it keeps, which may leave more
    // free than a block in its figures.
    if (lastWrite_.kind != OsStatus::Kind::DiskFull) {
        return false;
    }
    const std::optional<KeptSpace> kept = platform_.keptSpace(root_);
    SpaceInfo space;
    if (!kept || !kept->listed || !platform_.driveSpace(root_, space).ok()) {
        return false;
    }
    // No more free than it keeps unseen: a limit of another kind (a project quota, which xfs
    // also answers with a full disk) leaves far more.
    std::uint64_t mapped = 0;
    for (const DeviceRange& range : kept->free) {
        mapped += range.length;
    }
    return space.free <= mapped - std::min(mapped, space.free);
}

void Engine::KeptSpaceStage() {
    // Only on a full volume: anywhere else the writes would take free space the fill did not.
    SpaceInfo space;
    if (!platform_.driveSpace(root_, space).ok() ||
        (space.free >= limits_.blockSize && !KeepsWhatItRefused())) {
        return;
    }
    for (int round = 0; round < kKeptSpaceRounds && !StopRequested(); ++round) {
        const std::optional<KeptSpace> kept = platform_.keptSpace(root_);
        if (!kept || !kept->listed || kept->groupBytes == 0 || kept->blockBytes == 0 ||
            kept->blockBytes % kDirectAlignment != 0 || kept->blockBytes > buffer_.size() ||
            Outside(kept->free, reached_) == 0) {
            break;
        }
        std::vector<FillPiece> pieces;
        for (PassFile& file : state_.gPassFiles) {
            // Written again past the cache, where a write is placed when it is made.
            if (!file.handle.open() || file.bytes == 0 ||
                (!file.handle.direct && !platform_.writeDirect(file.handle))) {
                continue;
            }
            fillers_->Flush(file); // its bytes on the medium before any of them is freed
            std::vector<FillerExtent> extents;
            if (platform_.fillerExtents(file.handle, extents).ok()) {
                for (const FillerExtent& extent : extents) {
                    pieces.push_back({&file, extent});
                }
            }
        }
        // All of a group's free space moves, the kept part and any other: a write takes the
        // blocks that were free before the stage freed any only while it frees no fewer. Only
        // groups with free space the stage has not reached yet.
        std::map<std::uint64_t, std::vector<DeviceRange>> groups;
        for (const DeviceRange& range : kept->free) {
            for (std::uint64_t at = range.start, end = range.start + range.length; at < end;) {
                const std::uint64_t group = at / kept->groupBytes;
                const std::uint64_t to = std::min(end, (group + 1) * kept->groupBytes);
                groups[group].push_back({at, to - at});
                at = to;
            }
        }
        Moved moved = Moved::All;
        for (auto group = groups.begin(); moved != Moved::Stop && group != groups.end(); ++group) {
            if (Outside(group->second, reached_) > 0) {
                moved = std::max(moved, MoveKeptSpace(group->first, group->second, *kept, pieces));
            }
        }
        // Another round after a write refused for room would only free more of the fill.
        if (moved != Moved::All) {
            break;
        }
    }
}

Engine::Moved Engine::MoveKeptSpace(std::uint64_t group, const std::vector<DeviceRange>& free,
                                    const KeptSpace& kept, const std::vector<FillPiece>& pieces) {
    struct Part {
        PassFile* file;
        std::uint64_t offset; ///< in the file
        std::uint64_t device;
        std::uint64_t length;
        std::uint64_t written = 0; ///< from offset on
    };
    const std::uint64_t block = kept.blockBytes;
    const std::uint64_t groupStart = group * kept.groupBytes;
    const std::uint64_t groupEnd = groupStart + kept.groupBytes;
    std::vector<Part> inGroup;
    for (const FillPiece& piece : pieces) {
        const FillerExtent& extent = piece.extent;
        // Whole blocks of the piece that lie in the group, but its first and last: a write
        // into a hole is placed near the file's bytes on either side, and those must lie in
        // the group too, or the write is placed in the group where they lie.
        const std::uint64_t from =
            (std::max(extent.device, groupStart) + block - 1) / block * block;
        const std::uint64_t to = std::min(extent.device + extent.length, groupEnd) / block * block;
        const std::uint64_t offset = extent.offset + (from - extent.device) + block;
        if (to > from + 2 * block && offset % block == 0) {
            inGroup.push_back({piece.file, offset, from + block, to - from - 2 * block});
        }
    }
    // The longest first: the fewest holes to free and write again.
    std::sort(inGroup.begin(), inGroup.end(),
              [](const Part& a, const Part& b) { return a.length > b.length; });
    std::uint64_t bytes = 0;
    for (const DeviceRange& range : free) {
        bytes += range.length;
    }
    std::uint64_t need = (bytes + block - 1) / block * block;
    std::vector<Part> freed;
    for (Part& part : inGroup) {
        if (need == 0) {
            break;
        }
        part.length = std::min(part.length, need);
        if (!platform_.punchFiller(part.file->handle, part.offset, part.length).ok()) {
            break; // what stays out of reach is counted when the pass is judged
        }
        reached_.push_back({part.device, part.length});
        freed.push_back(part);
        need -= part.length;
    }

    // A write of several blocks is placed only on a run of free blocks as long as it, where
    // there is one, freed a moment ago or not; so runs of that length are written while the
    // group's free space holds that many, and every other block alone.
    const std::uint64_t run = std::max(
        block, std::min<std::uint64_t>(kRunBlocks * block, buffer_.size() / block * block));
    std::uint64_t runs = 0;
    for (const DeviceRange& range : free) {
        runs += range.length / run;
    }
    OsStatus status;
    const PassFile* refused = nullptr;
    const auto write = [&](Part& part, std::uint64_t size) {
        view_.yield();
        if (StopRequested()) {
            return false;
        }
        status = platform_.writeFillerAt(part.file->handle, part.offset + part.written,
                                         buffer_.data(), static_cast<std::size_t>(size));
        part.written += status.ok() ? size : 0;
        refused = status.ok() ? nullptr : part.file;
        return status.ok();
    };
    bool going = true;
    for (Part& part : freed) {
        while (going && runs > 0 && part.length - part.written >= run) {
            going = write(part, run);
            --runs;
        }
    }
    for (Part& part : freed) {
        while (going && part.written < part.length) {
            going = write(part, block);
        }
    }
    for (const Part& part : freed) {
        if (part.written < part.length) {
            holes_.push_back({part.file, part.offset + part.written, part.length - part.written});
        }
    }
    if (StopRequested()) {
        return Moved::Stop;
    }
    if (refused == nullptr) {
        return Moved::All;
    }
    if (status.kind != OsStatus::Kind::DiskFull) {
        failures_.Note(Because(refused->path + " cannot be written", status));
        return Moved::Stop;
    }
    return Moved::Short; // the freed blocks left free hold the fill's byte
}

std::uint64_t Engine::KeptSpaceLeft(const KeptSpace& kept) const {
    return Outside(kept.free, reached_);
}

} // namespace klar
