#include "engine/filler_files.h"

#include "engine/pass_failure.h"

namespace klar {
namespace {

constexpr const char* kExtension = ".txt";

} // namespace

void JobFailures::Note(const std::string& cause) {
    if (!first_) {
        first_ = cause;
    }
}

void JobFailures::NoteLeftBehind(const PassFile& file, const std::string& cause) {
    Note(cause);
    leftBehind_.push_back(file.path + " (" + std::to_string(file.bytes) +
                          (file.released ? " bytes, emptied)" : " bytes)"));
}

FillerFiles::FillerFiles(Platform& platform, JobJournal& journal, std::vector<PassFile>& files,
                         JobFailures& failures)
    : platform_(platform), journal_(journal), files_(files), failures_(failures) {}

void FillerFiles::RecordFolder(const std::string& driveText, const std::string& root) {
    root_ = root;
    if (!driveText_.empty() && driveText == driveText_) {
        VerifyFolder(); // a later pass on the same drive text: still the same folder?
        return;
    }
    const OsStatus status = platform_.folderIdentity(root_, folder_);
    if (!status.ok()) {
        throw PassFailure{Because("the drive cannot be read", status)};
    }
    driveText_ = driveText;
}

void FillerFiles::VerifyFolder() const {
    FolderId now;
    const OsStatus status = platform_.folderIdentity(root_, now);
    if (!status.ok()) {
        throw PassFailure{Because("the folder was renamed or removed during the job", status)};
    }
    if (now.volume != folder_.volume) {
        throw PassFailure{"the drive was unmounted or replaced during the job"};
    }
    if (now != folder_) {
        throw PassFailure{"the folder was replaced during the job"};
    }
}

void FillerFiles::FirstNumberSearch(std::uint8_t fill) {
    fill_ = fill;
    number_ = 0;
    do {
        ++number_;
    } while (FileExists(platform_.joinPath(root_, NumberText() + kExtension)));
    --number_;
}

bool FillerFiles::Create(PassFile& file, bool flushJournal, OsStatus& status) {
    // A filler that cannot be journaled is not made: a job that died would strand it.
    const auto journaled = [](const OsStatus& written) {
        if (!written.ok()) {
            throw PassFailure{Because("the journal of filler files cannot be written", written)};
        }
    };
    for (;;) {
        ++number_;
        const std::string name = NumberText() + kExtension;
        file.path = platform_.joinPath(root_, name);
        journaled(journal_.Next(root_, folder_, name, fill_, flushJournal));
        status = platform_.createExclusive(file.path, file.handle);
        file.created = status.ok();
        if (file.created) {
            ++made_;
            journaled(journal_.Made(name, file.handle.id, flushJournal));
            if (file.handle.id.volume != folder_.volume) {
                throw PassFailure{"the drive was unmounted or replaced during the job"};
            }
            return true;
        }
        journaled(journal_.NotMade(name));
        if (status.kind != OsStatus::Kind::Exists) {
            return false;
        }
    }
}

void FillerFiles::Flush(PassFile& file) {
    if (!file.handle.open() || file.flushed) {
        return;
    }
    const OsStatus flushed = platform_.flush(file.handle);
    if (!flushed.ok()) {
        failures_.Note(Because(file.path + " cannot be flushed to the disk", flushed));
    }
    file.flushed = true;
}

void FillerFiles::Release(PassFile& file) {
    if (!file.handle.open()) {
        return;
    }
    if (file.bytes == 0) {
        // Nothing of ours to give back; some systems refuse even that on a full disk (Wine).
        file.released = true;
        return;
    }
    Flush(file);
    const OsStatus released = platform_.release(file.handle);
    if (released.ok()) {
        file.released = true;
    } else {
        failures_.Note(Because(file.path + " cannot be emptied", released));
    }
}

void FillerFiles::Delete(PassFile& file) {
    Release(file);
    if (!file.created || !FileExists(file.path)) {
        platform_.close(file.handle);
        if (file.created) {
            failures_.NoteLeftBehind(file, file.path + " was moved away");
        }
        return;
    }
    // Checked while its handle is still open where the system allows it: no other file can
    // then have taken its number.
    const OsStatus removed = platform_.removeFiller(file.path, file.handle);
    if (removed.kind == OsStatus::Kind::Exists) {
        failures_.NoteLeftBehind(file, file.path + " was replaced by another file and left alone");
    } else if (!removed.ok()) {
        failures_.NoteLeftBehind(file, Because(file.path + " cannot be deleted", removed));
    }
}

std::uint64_t FillerFiles::Trim() {
    std::uint64_t bytes = 0;
    for (PassFile& file : files_) {
        if (file.handle.open()) {
            Flush(file); // the pass's byte on the medium first: that is what clears the space
            bytes += platform_.trimFiller(file.handle).value_or(0);
        }
    }
    return bytes;
}

void FillerFiles::DeleteFrom(std::size_t first) {
    const auto from = files_.begin() + static_cast<std::ptrdiff_t>(first);
    for (auto file = from; file != files_.end(); ++file) {
        Delete(*file);
    }
    files_.erase(from, files_.end());
}

void FillerFiles::FlushJournal() {
    journal_.Flush();
}

bool FillerFiles::FileExists(const std::string& path) const {
    return platform_.pathExists(path);
}

std::string FillerFiles::NumberText() const {
    std::string text = std::to_string(number_);
    if (text.size() < 8) {
        text.insert(0, 8 - text.size(), '0');
    }
    return text;
}

void DeletePassFilesNow(JobState& state, Platform& platform) {
    platform.restoreHeldBack();
    for (PassFile& file : state.gPassFiles) {
        if (file.handle.open()) {
            (void)platform.release(file.handle);
            platform.close(file.handle);
        }
        if (file.created) {
            (void)platform.removeCreated(file.path, file.handle.id);
        }
    }
    state.gPassFiles.clear();
}

} // namespace klar
