// What a plain fill of free space misses, and the end of each pass's fill that deals with it:
// small filler files for the records and inline data of deleted small files, and the space the
// filesystem holds back or reserves, named in the final message when it stays out of reach.
#include "engine/engine.h"
#include "engine/pass_failure.h"

#include <algorithm>

namespace klar {
namespace {

/// The largest small file: btrfs keeps files up to 2,048 bytes inline in its metadata, NTFS up
/// to about 700 bytes in a file record, ext4 (with inline data) up to 60 bytes in an inode. A
/// full volume refuses what it cannot keep in a record, and the stage halves the size until it
/// takes it, so every record gets as much of the pass's byte as it can hold.
constexpr std::size_t kLargestSmallFile = 2'048;

/// Attributes that btrfs keeps in its trees: from just under its node size (16 KiB by default)
/// down to a size below which an attribute takes too little metadata to be worth a call.
constexpr std::size_t kLargestAttribute = 16'000;
constexpr std::size_t kSmallestAttribute = 256;

/// The stage ends when the volume refuses a file, or when the records the filesystem reports
/// free are used. Only on btrfs, which reports no record count, does it go on with empty files
/// (they still take metadata once the data space is full); there the metadata space bounds it,
/// and this cap keeps a volume whose metadata would hold more from taking hours for files
/// that reach nothing new. Every other filesystem refuses the first small file that a full
/// volume cannot keep in a record, so a disk with millions of free inodes costs a few files.
constexpr std::uint64_t kMostSmallFiles = 1'048'576;

} // namespace

void Engine::SmallFileRefused(const PassFile& file) {
    // As in the fill: only a full volume ends the stage normally, whatever the error code.
    SpaceInfo space;
    if (lastWrite_.kind != OsStatus::Kind::DiskFull &&
        !(platform_.driveSpace(root_, space).ok() && space.free == 0)) {
        failures_.Note(Because(
            file.path + (file.created ? " cannot be written" : " cannot be created"), lastWrite_));
    }
}

void Engine::SmallFileStage(const HeldBack& heldBack) {
    // Only a volume that the fill left full: anywhere else small files would take free space
    // that the fill did not.
    SpaceInfo space;
    if (!platform_.driveSpace(root_, space).ok() || space.free >= limits_.blockSize) {
        NoteUnreachedSpace(heldBack);
        return;
    }
    // The fill's data first: on the medium before the stage churns the metadata, and kept
    // apart from what the stage costs.
    for (PassFile& filler : state_.gPassFiles) {
        fillers_->Flush(filler);
    }
    RecordSpace records;
    if (!platform_.recordSpace(root_, records).ok()) {
        records = {};
    }
    if (records.tableRecords) {
        NoteUnreachedSpace(heldBack); // judged while the volume is still full
        RecordTableStage(*records.tableRecords);
        return;
    }
    FullVolumeStage(records);
    NoteUnreachedSpace(heldBack);
}

void Engine::RecordTableStage(std::uint64_t tableRecords) {
    // Listing a new file grows its folder's index into free data space, which a full volume
    // refuses: the fill goes first, every cluster of it written and on the medium.
    fillers_->DeleteFrom(0);
    (void)platform_.flushVolume(root_);
    const std::uint64_t most = std::min(tableRecords, kMostSmallFiles);
    std::uint64_t made = 0;
    bool tableGrew = false;
    while (made < most && !tableGrew && !StopRequested()) {
        view_.yield();
        PassFile& file = state_.gPassFiles.emplace_back();
        // An empty file: the record is rewritten whole whatever the file holds.
        if (!fillers_->Create(file, false, lastWrite_)) {
            failures_.Note(Because("the file records of deleted files were not all overwritten: " +
                                       file.path + " cannot be created",
                                   lastWrite_));
            break;
        }
        ++made;
        platform_.close(file.handle);
        // Grown: every record it had is taken, and the new ones never held anything.
        RecordSpace now;
        tableGrew = platform_.recordSpace(root_, now).ok() && now.tableRecords &&
                    *now.tableRecords > tableRecords;
    }
    if (!tableGrew && !StopRequested() && made == most) {
        failures_.Note("the file records past the first " + WithSeparators(made) +
                       " small files were not overwritten");
    }
    // The new records on the medium, where they overwrite what the old ones held; the
    // journal first, so that none of them is there unlisted.
    fillers_->FlushJournal();
    if (const OsStatus flushed = platform_.flushVolume(root_); !flushed.ok()) {
        failures_.Note(Because("the disk cannot be flushed", flushed));
    }
}

void Engine::FullVolumeStage(const RecordSpace& records) {
    const std::uint64_t most = std::min(records.free.value_or(kMostSmallFiles), kMostSmallFiles);
    // Flushing each small file costs a flush of the whole device on some drivers (ntfs-3g);
    // where the volume can be flushed as a whole, one flush at the end serves them all.
    const bool flushOnce = platform_.flushVolume(root_).ok();
    bool unflushed = false;
    const std::size_t firstSmallFile = state_.gPassFiles.size();
    if (records.inMetadata) {
        // Twice: a full metadata space still has free blocks (btrfs keeps a reserve), and which
        // ones depends on where its allocator stands. One fill left old leaves among them;
        // with the first fill's attributes on the medium and deleted before a second, none
        // was left at any size measured.
        MetadataFill(!flushOnce);
        if (flushOnce) {
            (void)platform_.flushVolume(root_);
            fillers_->DeleteFrom(firstSmallFile);
            (void)platform_.flushVolume(root_);
            MetadataFill(false);
        }
        unflushed = flushOnce;
    }
    std::size_t size = kLargestSmallFile;
    BuildBlock(size);
    std::uint64_t made = 0;
    for (; made < most && !StopRequested(); ++made) {
        view_.yield();
        PassFile& file = state_.gPassFiles.emplace_back();
        // Journaled as every filler; flushed with the volume's flush below where there is
        // one, so that thousands of small files cost no flush each.
        if (!fillers_->Create(file, !flushOnce, lastWrite_)) {
            SmallFileRefused(file);
            break;
        }
        // The largest size the volume still keeps in a record; an empty file once none is.
        while (size > 0 && !WriteBlock(file, blockLength_)) {
            size /= 2;
            BuildBlock(size);
        }
        if (size > 0 && !flushOnce) {
            fillers_->Flush(file);
            platform_.close(file.handle);
            continue;
        }
        platform_.close(file.handle);
        unflushed = flushOnce;
        if (size == 0 && !records.inMetadata) {
            SmallFileRefused(file);
            break;
        }
    }
    if (made == kMostSmallFiles) {
        failures_.Note("the file records past the first " + WithSeparators(kMostSmallFiles) +
                       " small files were not overwritten");
    }
    if (unflushed) {
        // The empty files' metadata must reach the medium too: it overwrites what it
        // replaces there. Their records first, so that none of them is on the medium unlisted.
        fillers_->FlushJournal();
        const OsStatus flushed = platform_.flushVolume(root_);
        if (!flushed.ok()) {
            failures_.Note(Because("the disk cannot be flushed", flushed));
        }
    }
    if (records.inMetadata) {
        // Their metadata is on the medium, which is all they were for; gone now, they leave
        // the filesystem the room it needs to empty and delete the fill.
        fillers_->DeleteFrom(firstSmallFile);
    }
    BuildBlock(limits_.blockSize);
}

void Engine::MetadataFill(bool flushJournal) {
    // Large attributes on one filler take the metadata far faster than an empty file each:
    // thousands of calls instead of hundreds of thousands of files to create and delete. The
    // empty files after it take what is left between them.
    PassFile& file = state_.gPassFiles.emplace_back();
    if (!fillers_->Create(file, flushJournal, lastWrite_)) {
        return; // the small files that follow meet the same refusal and say it
    }
    std::size_t size = kLargestAttribute;
    for (std::uint64_t n = 0; size >= kSmallestAttribute && !StopRequested();) {
        view_.yield();
        if (platform_.addMetadata(file.handle, n, buffer_.data(), size).ok()) {
            ++n;
        } else {
            size /= 2; // too large for what is left, or for the filesystem
        }
    }
    platform_.close(file.handle);
}

void Engine::NoteHeldBack(const HeldBack& heldBack) {
    if (heldBack.state == HeldBack::State::NotLifted) {
        failures_.Note(WithSeparators(heldBack.bytes) + " bytes are held back by the filesystem (" +
                       heldBack.why + ")");
    }
}

void Engine::NoteUnreachedSpace(const HeldBack& heldBack) {
    NoteHeldBack(heldBack);
    SpaceInfo space;
    if (!platform_.driveSpace(root_, space).ok()) {
        return;
    }
    const std::string route = view_.administratorRoute();
    if (space.withheld > 0) {
        std::string cause =
            WithSeparators(space.withheld) + " bytes are reserved for the administrator";
        if (!route.empty()) {
            cause += "; " + route + " to clear them";
        }
        failures_.Note(cause);
    }
    // Free space that no file may take (xfs keeps some in each of its allocation groups for
    // its own trees) unless the kept-space stage moved it onto the fill, and free space that
    // refused the fill and every small file, may still hold deleted data.
    if (const std::optional<KeptSpace> kept = platform_.keptSpace(root_); kept && kept->listed) {
        if (const std::uint64_t left = KeptSpaceLeft(*kept); left > 0) {
            failures_.Note(WithSeparators(left) +
                           " bytes of free space that the filesystem keeps for its own use were "
                           "not overwritten");
        }
    } else if (kept) {
        // Where it lies, and how much it is, only the administrator may ask.
        std::string cause =
            "the free space that the filesystem keeps for its own use was not overwritten";
        if (!route.empty()) {
            cause += "; " + route + " to clear it";
        }
        failures_.Note(cause);
    } else if (space.free > 0) {
        failures_.Note(WithSeparators(space.free) + " bytes of free space refused every write");
    }
}

} // namespace klar
