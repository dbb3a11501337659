#pragma once

#include "forwarding_platform.h"
#include "platform/state_folder.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace klar::test {

/// Stands in front of the real backend and fails chosen calls the way a failing disk or a
/// vanished drive would. Counters start at 1 for the first call of each kind; appends count
/// blocks (kBlockUnit bytes or less), so a transfer of several blocks counts, and can fail, at
/// each of its blocks as a disk refusing the n-th block would.
class FaultyPlatform : public ForwardingPlatform {
public:
    explicit FaultyPlatform(Platform& real) : ForwardingPlatform(real) {}

    static constexpr std::size_t kBlockUnit = 65'536;

    /// The n-th block appended (and every later one while `sticky`) fails with the given
    /// status; the blocks of the same transfer before it reach the file.
    void failAppend(long n, OsStatus status, bool sticky = false) {
        appendFault_ = Fault{n, std::move(status), sticky};
    }
    /// From the n-th free-space query on, the drive is gone.
    void loseDriveAt(long n, OsStatus status) { spaceFault_ = Fault{n, std::move(status), true}; }
    void failFlush(OsStatus status) { flushFault_ = Fault{1, std::move(status), true}; }
    void failRemove(OsStatus status) { removeFault_ = Fault{1, std::move(status), true}; }
    /// The n-th delete (and every later one while `sticky`) is refused.
    void failRemoveAt(long n, OsStatus status, bool sticky = false) {
        removeFault_ = Fault{n, std::move(status), sticky};
    }
    void failCreate(OsStatus status) { createFault_ = Fault{1, std::move(status), true}; }
    /// The n-th write to a journal in the state folder (and every later one while `sticky`)
    /// is refused; its header is the first.
    void failJournalWrite(long n, OsStatus status, bool sticky = false) {
        journalFault_ = Fault{n, std::move(status), sticky};
    }
    /// From now on an append larger than the free space of the volume holding root writes
    /// nothing and reports a full disk, as drivers that allocate a whole write at once do
    /// (tmpfs and ext2 write what fits instead).
    void wholeWritesOnly(std::string root) { wholeWritesRoot_ = std::move(root); }
    /// The byte at offset of the n-th filler read back (in the order first read) comes back
    /// changed, as from a medium that lost it.
    void corruptReadBack(long n, std::uint64_t offset) { corruptRead_ = {n, offset}; }
    /// The n-th read-back call (and every later one) fails with status.
    void failReadBack(long n, OsStatus status) { readFault_ = Fault{n, std::move(status), true}; }
    /// The n-th write of a filler's bytes again in place (and every later one while
    /// `sticky`) fails with status, writing nothing.
    void failWriteAt(long n, OsStatus status, bool sticky = false) {
        rewriteFault_ = Fault{n, std::move(status), sticky};
    }
    /// From now on the volume keeps free space for its own use without saying where, as xfs
    /// does to an ordinary user on older kernels.
    void unlistKeptSpace() { unlistKept_ = true; }
    /// Runs before every free-space query (to change the volume under the job, say).
    std::function<void(long call)> beforeDriveSpace;

    struct AppendSeen {
        std::size_t size;
        bool ok;
        std::size_t written; ///< bytes that reached the file
        OsStatus::Kind kind; ///< how the system answered
    };

    long appends = 0; ///< blocks handed to append
    long spaceQueries = 0;
    long flushes = 0;
    long removes = 0;
    long creates = 0;
    long journalWrites = 0;
    long reads = 0;                              ///< read-back calls
    long rewrites = 0;                           ///< writes of a filler's bytes in place
    std::vector<AppendSeen> appendLog;           ///< every append call, in order
    std::uint64_t leastFree = ~std::uint64_t{0}; ///< the least free space the system reported

    static OsStatus error(int code, const char* text) {
        return OsStatus{OsStatus::Kind::Failed, code, text};
    }
    static OsStatus diskFull() {
        return OsStatus{OsStatus::Kind::DiskFull, 28, "No space left on device"};
    }

    OsStatus createExclusive(const std::string& path, FillerHandle& out) override {
        ++creates;
        if (auto f = hit(createFault_, 1)) {
            return *f;
        }
        return real().createExclusive(path, out);
    }
    OsStatus append(FillerHandle& file, const std::uint8_t* data, std::size_t size,
                    std::size_t& written) override {
        OsStatus status = appendStatus(file, data, size, written);
        appendLog.push_back({size, status.ok(), written, status.kind});
        return status;
    }
    OsStatus flush(FillerHandle& file) override {
        ++flushes;
        if (auto f = hit(flushFault_, flushes)) {
            return *f;
        }
        return real().flush(file);
    }
    OsStatus removeCreated(const std::string& path, const FileId& id) override {
        ++removes;
        if (auto f = hit(removeFault_, removes)) {
            return *f;
        }
        return real().removeCreated(path, id);
    }
    OsStatus removeFiller(const std::string& path, FillerHandle& file) override {
        ++removes;
        if (auto f = hit(removeFault_, removes)) {
            real().close(file);
            return *f;
        }
        return real().removeFiller(path, file);
    }
    std::optional<KeptSpace> keptSpace(const std::string& root) override {
        std::optional<KeptSpace> kept = real().keptSpace(root);
        if (kept && unlistKept_) {
            kept->free.clear();
            kept->listed = false;
        }
        return kept;
    }
    OsStatus writeFillerAt(FillerHandle& file, std::uint64_t offset, const std::uint8_t* data,
                           std::size_t size) override {
        if (auto f = hit(rewriteFault_, ++rewrites)) {
            return *f;
        }
        return real().writeFillerAt(file, offset, data, size);
    }
    OsStatus readBack(FillerHandle& file, std::uint64_t offset, std::uint8_t* data,
                      std::size_t size, std::size_t& read) override {
        if (auto f = hit(readFault_, ++reads)) {
            read = 0;
            return *f;
        }
        const OsStatus status = real().readBack(file, offset, data, size, read);
        if (std::find(filesRead_.begin(), filesRead_.end(), file.id.index) == filesRead_.end()) {
            filesRead_.push_back(file.id.index);
        }
        const auto [n, at] = corruptRead_;
        const bool chosen = n > 0 && static_cast<long>(filesRead_.size()) >= n &&
                            filesRead_[static_cast<std::size_t>(n - 1)] == file.id.index;
        if (status.ok() && chosen && at >= offset && at < offset + read) {
            data[at - offset] ^= 0xFF;
        }
        return status;
    }
    StateFiles& stateFiles() override { return journal_; }
    OsStatus driveSpace(const std::string& root, SpaceInfo& out) override {
        if (auto f = spaceFault()) {
            return *f;
        }
        return noteFree(real().driveSpace(root, out), out);
    }
    OsStatus driveSpaceThrough(const FillerHandle& file, const std::string& root,
                               SpaceInfo& out) override {
        if (auto f = spaceFault()) {
            return *f;
        }
        return noteFree(real().driveSpaceThrough(file, root, out), out);
    }

private:
    /// The state folder's files as the system's, but for the journal writes a test refuses.
    class FaultyStateFiles final : public StateFiles {
    public:
        explicit FaultyStateFiles(FaultyPlatform& owner) : owner_(owner) {}
        OsStatus check(const std::string& folder) override { return real().check(folder); }
        OsStatus create(const std::string& folder, const std::string& name,
                        HeldFile& out) override {
            return real().create(folder, name, out);
        }
        OsStatus append(HeldFile& file, const std::string& text, bool flush) override {
            if (auto f = hit(owner_.journalFault_, ++owner_.journalWrites)) {
                return *f;
            }
            return real().append(file, text, flush);
        }
        OsStatus truncate(HeldFile& file, std::uint64_t size) override {
            return real().truncate(file, size);
        }
        void close(HeldFile& file) override { real().close(file); }
        std::vector<std::string> list(const std::string& folder,
                                      const std::string& suffix) override {
            return real().list(folder, suffix);
        }
        OsStatus takeOver(const std::string& folder, const std::string& name,
                          std::uint64_t maxBytes, HeldFile& out, std::uint64_t& size) override {
            return real().takeOver(folder, name, maxBytes, out, size);
        }
        std::size_t read(HeldFile& file, std::uint64_t offset, char* data,
                         std::size_t size) override {
            return real().read(file, offset, data, size);
        }
        bool remove(const std::string& folder, const std::string& name) override {
            return real().remove(folder, name);
        }

    private:
        StateFiles& real() { return owner_.real().stateFiles(); }
        FaultyPlatform& owner_;
    };

    OsStatus appendStatus(FillerHandle& file, const std::uint8_t* data, std::size_t size,
                          std::size_t& written) {
        written = 0;
        const long blocks = size == 0 ? 1 : static_cast<long>((size + kBlockUnit - 1) / kBlockUnit);
        for (long k = 0; k < blocks; ++k) {
            if (auto f = hit(appendFault_, appends + 1 + k)) {
                appends += k + 1;
                if (k > 0) {
                    const OsStatus before = real().append(
                        file, data, static_cast<std::size_t>(k) * kBlockUnit, written);
                    if (!before.ok()) {
                        return before;
                    }
                }
                return *f;
            }
        }
        appends += blocks;
        SpaceInfo space;
        if (!wholeWritesRoot_.empty() && real().driveSpace(wholeWritesRoot_, space).ok() &&
            size > space.free) {
            return diskFull();
        }
        return real().append(file, data, size, written);
    }

    OsStatus noteFree(OsStatus status, const SpaceInfo& space) {
        if (status.ok()) {
            leastFree = std::min(leastFree, space.free);
        }
        return status;
    }

    std::optional<OsStatus> spaceFault() {
        ++spaceQueries;
        if (beforeDriveSpace) {
            beforeDriveSpace(spaceQueries);
        }
        return hit(spaceFault_, spaceQueries);
    }

    struct Fault {
        long at;
        OsStatus status;
        bool sticky;
    };
    static std::optional<OsStatus> hit(const std::optional<Fault>& fault, long call) {
        if (fault && (call == fault->at || (fault->sticky && call > fault->at))) {
            return fault->status;
        }
        return std::nullopt;
    }

    std::optional<Fault> appendFault_;
    std::optional<Fault> journalFault_;
    FaultyStateFiles journal_{*this};
    std::optional<Fault> spaceFault_;
    std::optional<Fault> flushFault_;
    std::optional<Fault> removeFault_;
    std::optional<Fault> createFault_;
    std::optional<Fault> readFault_;
    std::optional<Fault> rewriteFault_;
    bool unlistKept_ = false;
    std::pair<long, std::uint64_t> corruptRead_{0, 0}; ///< n-th filler read, offset
    std::vector<std::uint64_t> filesRead_;             ///< file numbers in the order first read
    std::string wholeWritesRoot_;
};

} // namespace klar::test
