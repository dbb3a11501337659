#include "engine.h"

#include "schedules.h"

#include <algorithm>
#include <charconv>

namespace klar {
namespace {

constexpr const char* kExtension = ".txt";

/// Jumps from anywhere inside a pass to its end, carrying the cause in a few words.
struct PassFailure {
    std::string cause;
};

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

void AppendNumber(std::string& out, std::uint64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

std::string Because(const std::string& what, const OsStatus& status) {
    return what + " (" + status.text + ")";
}

std::uint64_t FreeOrEndPass(const OsStatus& status, const SpaceInfo& space, std::uint64_t& total) {
    if (!status.ok()) {
        throw PassFailure{Because("the drive cannot be read", status)};
    }
    total = space.total;
    return space.free;
}

} // namespace

Engine::Engine(JobState& state, Platform& platform, JobView& view, RandomSource& random,
               EngineLimits limits)
    : state_(state), platform_(platform), view_(view), random_(random), limits_(limits) {}

void Engine::Command5_Click() {
    if (state_.gJobRunning) {
        return;
    }
    state_.gJobRunning = true;
    if (view_.isChecked(MethodBox::DOD)) {
        StoreDodSchedule(state_);
    }
    view_.setAbortVisible(true);
    view_.yield();

    if (view_.isChecked(MethodBox::Guttman)) {
        SweepGuttman();
    } else if (view_.isChecked(MethodBox::NSA)) {
        SweepNSA();
    } else if (view_.isChecked(MethodBox::Canada)) {
        SweepCanadian();
    } else if (view_.isChecked(MethodBox::Single)) {
        SweepSingle();
    } else if (view_.isChecked(MethodBox::UK)) {
        SweepUK();
    } else {
        view_.yield();
        RunPassEngine();
    }
}

void Engine::btnAbort_Click() {
    state_.gAbort = true;
}

// ---- Method procedures: each stores its schedule, then runs the same pass engine.

void Engine::SweepSingle() {
    view_.yield();
    state_.gPassCount = kSinglePasses;
    state_.gPattern[1] = 0;
    RunPassEngine();
}

void Engine::SweepNSA() {
    view_.yield();
    state_.gPassCount = kNsaPasses;
    std::copy(kNsaBytes.begin(), kNsaBytes.end(), state_.gPattern.begin() + 1);
    RunPassEngine();
}

void Engine::SweepCanadian() {
    view_.yield();
    state_.gPassCount = kCanadianPasses;
    std::copy(kCanadianFixedBytes.begin(), kCanadianFixedBytes.end(), state_.gPattern.begin() + 1);
    random_.reseedFromClock();
    state_.gPattern[8] = RandomPatternByte(random_);
    view_.yield();
    RunPassEngine();
}

void Engine::SweepGuttman() {
    view_.yield();
    state_.gPassCount = kGuttmanPasses;
    std::copy(kGuttmanFixedBytes.begin(), kGuttmanFixedBytes.end(), state_.gPattern.begin() + 1);
    random_.reseedFromClock();
    for (int pass = 28; pass <= kGuttmanPasses; ++pass) {
        state_.gPattern[pass] = RandomPatternByte(random_);
        if (pass < kGuttmanPasses) {
            view_.yield();
        }
        if (pass == 29 || pass == 31 || pass == 33) {
            view_.yield();
        }
    }
    RunPassEngine();
}

void Engine::SweepUK() {
    view_.yield();
    state_.gPassCount = kUkPasses;
    std::copy(kGuttmanFixedBytes.begin(), kGuttmanFixedBytes.end(), state_.gPattern.begin() + 1);
    random_.reseedFromClock();
    for (int pass = 28; pass <= kUkPasses; ++pass) {
        if (pass > 28) {
            view_.yield();
        }
        state_.gPattern[pass] = RandomPatternByte(random_);
    }
    RunPassEngine();
}

// ---- File helpers.

bool Engine::FileExists(const std::string& path) {
    return platform_.pathExists(path);
}

bool Engine::WriteBlock(PassFile& file, const std::vector<std::uint8_t>& block) {
    if (!file.handle.open()) {
        return false; // lastWrite_ still holds why the file could not be created
    }
    std::size_t written = 0;
    lastWrite_ = platform_.append(file.handle, block.data(), block.size(), written);
    return lastWrite_.ok();
}

std::uint64_t Engine::GetDriveSpace(const std::string& root, std::uint64_t& total) {
    SpaceInfo space;
    return FreeOrEndPass(platform_.driveSpace(root, space), space, total);
}

std::uint64_t Engine::GetDriveSpace(const PassFile& file, const std::string& root,
                                    std::uint64_t& total) {
    SpaceInfo space;
    return FreeOrEndPass(platform_.driveSpaceThrough(file.handle, root, space), space, total);
}

// ---- The pass engine.

void Engine::RunPassEngine() {
    failure_.reset();
    for (int pass = 1;; ++pass) {
        if (RunPass(pass) == PassEnd::Refused || FinishJob(pass)) {
            return;
        }
    }
}

Engine::PassEnd Engine::RunPass(int pass) {
    fileNumber_ = 0;
    std::string label8 = "Pass: ";
    AppendNumber(label8, static_cast<std::uint64_t>(pass));
    label8 += " of ";
    AppendNumber(label8, static_cast<std::uint64_t>(state_.gPassCount));
    view_.setCaption(Caption::Label8, label8);

    state_.gPassFiles.clear();
    state_.gDriveFull = false;

    const std::string driveText = Trim(view_.driveText());
    if (driveText.empty()) {
        view_.showMessage("You must select a drive letter");
        view_.focusDriveList();
        state_.gJobRunning = false;
        return PassEnd::Refused;
    }

    HeldBackLift heldBack(platform_);
    try {
        PassStart(pass, driveText);
        heldBack.lift(root_);
        FirstNumberSearch();
        for (;;) {
            FileStart();
            if (state_.gDriveFull) {
                SmallFileStage();
                NoteUnreachedSpace(heldBack.held());
                heldBack.restore();
                break;
            }
            const BlockLoopEnd end = BlockLoop();
            if (end == BlockLoopEnd::Abort) {
                AbortPass();
                break;
            }
            if (end == BlockLoopEnd::WriteFailed) {
                TailFill();
            }
        }
    } catch (const PassFailure& failure) {
        NoteFailure(failure.cause);
    }
    PassFilesEnd();
    return PassEnd::Done;
}

void Engine::PassStart(int pass, const std::string& driveText) {
    driveName_ = platform_.driveName(driveText);
    root_ = platform_.rootPath(driveText);
    std::uint64_t total = 0;
    const std::uint64_t freeBytes = GetDriveSpace(root_, total);
    ShowRemaining(freeBytes);
    view_.yield();
    state_.gStartFree = freeBytes;
    std::string capacity = "Drive Capacity: ";
    AppendNumber(capacity, total);
    capacity += " bytes";
    view_.setCaption(Caption::Label10, capacity);
    view_.yield();
    state_.gFileBytes = 0;

    const auto& pattern = state_.gPattern;
    if (pass < 1 || pass >= kPatternSlots || !pattern[static_cast<std::size_t>(pass)]) {
        throw PassFailure{"pass " + std::to_string(pass) + " has no fill byte"};
    }
    patternByte_ = *pattern[static_cast<std::size_t>(pass)];
    passCaption_ = "Pass [";
    AppendNumber(passCaption_, static_cast<std::uint64_t>(pass));
    passCaption_ += "]:";
}

void Engine::FirstNumberSearch() {
    BuildBlock(limits_.blockSize);
    do {
        ++fileNumber_;
    } while (FileExists(platform_.joinPath(root_, NumberText() + kExtension)));
    --fileNumber_;
}

void Engine::FileStart() {
    if (state_.gDriveFull) {
        return;
    }
    PassFile& file = state_.gPassFiles.emplace_back();
    view_.yield();
    // Exclusive creation: a number taken since the search (or later in the sequence) is
    // skipped, so no file of the user's is ever opened.
    for (;;) {
        ++fileNumber_;
        file.path = platform_.joinPath(root_, NumberText() + kExtension);
        lastWrite_ = platform_.createExclusive(file.path, file.handle);
        if (lastWrite_.kind != OsStatus::Kind::Exists) {
            break;
        }
    }
    file.created = lastWrite_.ok();
}

Engine::BlockLoopEnd Engine::BlockLoop() {
    PassFile& file = state_.gPassFiles.back();
    for (;;) {
        if (!WriteBlock(file, block_)) {
            return BlockLoopEnd::WriteFailed;
        }
        view_.yield();
        state_.gFileBytes += block_.size();
        view_.yield();
        std::uint64_t total = 0;
        const std::uint64_t freeBytes = GetDriveSpace(file, root_, total);
        ShowRemaining(freeBytes);
        view_.yield();
        float percent = 100.0f;
        if (state_.gStartFree > 0) {
            const double used =
                static_cast<double>(state_.gStartFree) - static_cast<double>(freeBytes);
            percent = static_cast<float>(used / static_cast<double>(state_.gStartFree) * 100.0);
        }
        view_.setProgress(std::clamp(percent, 0.0f, 100.0f));
        view_.yield();
        view_.setCaption(Caption::Label2, passCaption_);
        view_.yield();

        if (state_.gAbort) {
            return BlockLoopEnd::Abort;
        }
        if (state_.gFileBytes >= limits_.fileCap) {
            state_.gFileBytes = 0;
            FlushAndClose(file);
            view_.yield();
            return BlockLoopEnd::FileFull;
        }
    }
}

void Engine::TailFill() {
    PassFile& file = state_.gPassFiles.back();
    view_.yield();
    std::uint64_t total = 0;
    std::uint64_t freeBytes = GetDriveSpace(root_, total);
    ClassifyFailedWrite(file, freeBytes);
    for (;;) {
        if (freeBytes >= block_.size() || freeBytes == 0) {
            state_.gDriveFull = true;
            BuildBlock(limits_.blockSize);
            state_.gFileBytes = 0;
            view_.yield();
            return;
        }
        if (block_.size() > 1) {
            BuildBlock(block_.size() / 2);
        }
        view_.yield();
        const bool good = WriteBlock(file, block_);
        view_.yield();
        freeBytes = GetDriveSpace(root_, total);
        if (good) {
            ShowRemaining(freeBytes);
            view_.yield();
        } else {
            ClassifyFailedWrite(file, freeBytes);
        }
    }
}

void Engine::AbortPass() {
    view_.focusClearButton();
    view_.setAbortVisible(false);
    view_.setCaption(Caption::Label9, "Remaining:");
    view_.yield();
    view_.setProgress(0.0f);
    view_.yield();
    view_.setCaption(Caption::Label2, "Pass [ ]:");
    view_.yield();
    state_.gJobRunning = false;
}

void Engine::PassFilesEnd() {
    for (PassFile& file : state_.gPassFiles) {
        FlushAndClose(file);
        if (!file.created || !FileExists(file.path)) {
            continue;
        }
        const OsStatus removed = platform_.removeCreated(file.path, file.handle.id);
        if (removed.kind == OsStatus::Kind::Exists) {
            NoteFailure(file.path + " was replaced by another file and left alone");
        } else if (!removed.ok()) {
            NoteFailure(Because(file.path + " cannot be deleted", removed));
        }
    }
    state_.gPassFiles.clear();
}

bool Engine::FinishJob(int pass) {
    if (state_.gAbort) {
        state_.gAbort = false;
        state_.gJobRunning = false;
        return true;
    }
    if (pass >= state_.gPassCount) {
        if (failure_) {
            view_.showMessage("Disk (" + driveName_ + ") was not fully cleared: " + *failure_ +
                              ".");
        } else {
            view_.showMessage("Disk (" + driveName_ + ") cleared.");
        }
        state_.gJobRunning = false;
        return true;
    }
    return false;
}

// ---- Small helpers.

void Engine::BuildBlock(std::size_t length) {
    block_.assign(length, patternByte_);
}

void Engine::ClassifyFailedWrite(const PassFile& file, std::uint64_t freeAfter) {
    // Only a full disk ends the filling normally. Some drivers answer a full disk with another
    // code, so a volume that reports no free space after the failure counts as full too.
    if (lastWrite_.kind == OsStatus::Kind::DiskFull || freeAfter == 0) {
        return;
    }
    NoteFailure(Because(file.path + (file.created ? " cannot be written" : " cannot be created"),
                        lastWrite_));
}

void Engine::NoteFailure(const std::string& cause) {
    if (!failure_) {
        failure_ = cause;
    }
}

void Engine::FlushAndClose(PassFile& file) {
    if (!file.handle.open()) {
        return;
    }
    const OsStatus flushed = platform_.flush(file.handle);
    if (!flushed.ok()) {
        NoteFailure(Because(file.path + " cannot be flushed to the disk", flushed));
    }
    platform_.close(file.handle);
}

void Engine::ShowRemaining(std::uint64_t freeBytes) {
    remainingText_.assign("Remaining: ");
    AppendNumber(remainingText_, freeBytes);
    remainingText_ += " bytes";
    view_.setCaption(Caption::Label9, remainingText_);
}

std::string Engine::NumberText() const {
    std::string text = std::to_string(fileNumber_);
    if (text.size() < 8) {
        text.insert(0, 8 - text.size(), '0');
    }
    return text;
}

} // namespace klar
