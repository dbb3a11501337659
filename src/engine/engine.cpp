#include "engine/engine.h"

#include "engine/pass_failure.h"
#include "engine/schedules.h"
#include "platform/termination.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <future>
#include <thread>

namespace klar {
namespace {

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

std::uint64_t FreeOrEndPass(const OsStatus& status, const SpaceInfo& space, std::uint64_t& total) {
    if (!status.ok()) {
        throw PassFailure{Because("the drive cannot be read", status)};
    }
    total = space.total;
    return space.free;
}

} // namespace

Engine::Engine(JobState& state, Platform& platform, JobView& view, RandomSource& random,
               EngineLimits limits, std::string journalFolder)
    : state_(state), platform_(platform), view_(view), random_(random), limits_(limits),
      journalFolder_(std::move(journalFolder)) {}

void Engine::Command5_Click() {
    (void)Run();
}

JobOutcome Engine::Run() {
    if (state_.gJobRunning) {
        return {JobOutcome::Kind::Refused, platform_.driveName(view_.driveText()),
                "a job is running already"};
    }
    state_.gJobRunning = true;
    SetJobActive(true);
    outcome_ = {};
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
    SetJobActive(false);
    return outcome_;
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

bool Engine::WriteBlock(PassFile& file, std::size_t length) {
    if (!file.handle.open()) {
        return false; // lastWrite_ still holds why the file could not be created
    }
    std::size_t written = 0;
    lastWrite_ = platform_.append(file.handle, buffer_.data(), length, written);
    file.bytes += written;
    if (report_ != nullptr) {
        report_->bytes += written;
    }
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
    failures_ = {};
    journal_.emplace(platform_.stateFiles(), journalFolder_);
    fillers_.emplace(platform_, *journal_, state_.gPassFiles, failures_);
    // One buffer for the whole job, whatever the size of the volume.
    buffer_ = AlignedBuffer(limits_.blockSize * std::max<std::size_t>(limits_.transferBlocks, 1));
    for (int pass = 1;; ++pass) {
        if (RunPass(pass) == PassEnd::Refused || FinishJob(pass)) {
            break;
        }
    }
    buffer_ = AlignedBuffer();
    readBuffer_ = AlignedBuffer();
    fillers_.reset();
    journal_->End(!failures_.leftBehind().empty());
    journal_.reset();
}

Engine::PassEnd Engine::RunPass(int pass) {
    progress_ = {pass, state_.gPassCount, 0, 0, 0};
    std::string label8 = "Pass: ";
    AppendNumber(label8, static_cast<std::uint64_t>(pass));
    label8 += " of ";
    AppendNumber(label8, static_cast<std::uint64_t>(state_.gPassCount));
    view_.setCaption(Caption::Label8, label8);

    state_.gPassFiles.clear();
    state_.gDriveFull = false;

    // Taken as typed: a folder's name may begin or end with a space (Windows trims its
    // letters in the platform).
    const std::string driveText = view_.driveText();
    if (Trim(driveText).empty()) {
        return Refuse({});
    }
    if (const OsStatus journal = journal_->Open(); !journal.ok()) {
        // Fillers that no journal lists would be stranded by a job that dies: none are made.
        outcome_.drive = platform_.driveName(driveText);
        return Refuse(
            Because("the journal of filler files cannot be written in " + journalFolder_, journal));
    }

    HeldBackLift heldBack(platform_);
    std::optional<HeldBack> held; // once the fill has met the space the filesystem holds back
    std::size_t firstHeldFile = 0;
    const auto started = std::chrono::steady_clock::now();
    const std::uint64_t madeBefore = fillers_->made();
    PassReport& report = outcome_.passes.emplace_back();
    report.pass = pass;
    report_ = &report;
    try {
        PassStart(pass, driveText);
        report.byte = patternByte_;
        if (pass == 1) {
            outcome_.capacity = progress_.total;
            outcome_.startFree = progress_.startFree;
        }
        // The space of files deleted just before the job is handed out only once their
        // deletion is committed (ext4's journal); committed now, the fill can take it.
        (void)platform_.flushVolume(root_);
        FirstNumberSearch();
        for (;;) {
            FileStart();
            if (state_.gDriveFull && !held) {
                // Lifted only for the last stretch: while it is 0, other programs' writes
                // to this full volume lose the reserve the kernel keeps for them. The fill on
                // the medium first: where blocks are placed at write-back, they would
                // otherwise land in space that the stretch wrote and gave back, and leave
                // unwritten space behind.
                for (PassFile& file : state_.gPassFiles) {
                    fillers_->Flush(file);
                }
                held = heldBack.lift(root_);
                NoteHeldBack(*held);
                if (held->state == HeldBack::State::Lifted) {
                    report.heldBackLifted = true;
                    firstHeldFile = state_.gPassFiles.size();
                    state_.gDriveFull = false;
                    continue;
                }
            }
            if (state_.gDriveFull) {
                if (heldBack.held().state == HeldBack::State::Lifted) {
                    GiveBackHeldSpace(firstHeldFile, heldBack);
                }
                // The fill is whole: the free space xfs keeps moves onto it; then it is read
                // back before the small-file stage, which may delete it.
                KeptSpaceStage();
                if (Verifies(pass) && !StopRequested()) {
                    ReadBack(pass, 0, true);
                }
                const std::uint64_t beforeStage = fillers_->made();
                const auto stageStarted = std::chrono::steady_clock::now();
                SmallFileStage(*held);
                report.smallFiles = fillers_->made() - beforeStage;
                report.smallFileSeconds =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - stageStarted)
                        .count();
                break;
            }
            const BlockLoopEnd end = BlockLoop();
            if (end == BlockLoopEnd::Abort) {
                AbortPass();
                break;
            }
            if (end == BlockLoopEnd::WriteFailed) {
                PassFile& file = state_.gPassFiles.back();
                if (lastWrite_.kind == OsStatus::Kind::FileTooLarge && file.bytes > 0) {
                    // A limit on the size of one file, not of the volume: on in a new file.
                    state_.gFileBytes = 0;
                    fillers_->Flush(file);
                    continue;
                }
                TailFill();
                JudgeFill();
            }
        }
    } catch (const PassFailure& failure) {
        failures_.Note(failure.cause);
    }
    const bool lastPass = pass >= state_.gPassCount && !StopRequested();
    if (lastPass) {
        TrimFillers();
    }
    PassFilesEnd();
    if (lastPass) {
        TrimFreeSpace();
    }
    if (failures_.leftBehind().empty()) {
        journal_->Clear(); // every filler it lists is gone
    }
    report.files = fillers_->made() - madeBefore;
    report.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    report_ = nullptr;
    return PassEnd::Done;
}

void Engine::PassStart(int pass, const std::string& driveText) {
    driveName_ = platform_.driveName(driveText);
    root_ = platform_.rootPath(driveText);
    std::uint64_t total = 0;
    const std::uint64_t freeBytes = GetDriveSpace(root_, total);
    progress_.total = total;
    progress_.startFree = freeBytes;
    ShowRemaining(freeBytes);
    view_.yield();
    state_.gStartFree = freeBytes;
    passProgress_ = 0.0f;
    reached_.clear();
    holes_.clear();
    std::string capacity = "Drive Capacity: ";
    AppendNumber(capacity, total);
    capacity += " bytes";
    view_.setCaption(Caption::Label10, capacity);
    view_.yield();
    state_.gFileBytes = 0;
    if (total == 0) {
        throw PassFailure{"the drive reports no capacity"};
    }
    fillers_->RecordFolder(driveText, root_);

    const auto& pattern = state_.gPattern;
    if (pass < 1 || pass >= kPatternSlots || !pattern[static_cast<std::size_t>(pass)]) {
        throw PassFailure{"pass " + std::to_string(pass) + " has no fill byte"};
    }
    patternByte_ = *pattern[static_cast<std::size_t>(pass)];
    buffer_.fill(patternByte_);
    singleBlocks_ = false;
    passCaption_ = "Pass [";
    AppendNumber(passCaption_, static_cast<std::uint64_t>(pass));
    passCaption_ += "]:";
}

void Engine::FirstNumberSearch() {
    BuildBlock(limits_.blockSize);
    fillers_->FirstNumberSearch(patternByte_);
}

void Engine::FileStart() {
    if (state_.gDriveFull) {
        return;
    }
    PassFile& file = state_.gPassFiles.emplace_back();
    view_.yield();
    fillers_->VerifyFolder();
    if (fillers_->Create(file, true, lastWrite_) && limits_.direct) {
        (void)platform_.writeDirect(file.handle); // where refused, buffered as ever
    }
}

Engine::BlockLoopEnd Engine::BlockLoop() {
    PassFile& file = state_.gPassFiles.back();
    for (;;) {
        const std::size_t blocks = TransferBlocks(file);
        const std::uint64_t before = file.bytes;
        const bool good = WriteBlock(file, blocks * blockLength_);
        // Every block that reached the file is accounted for as if written alone; the volume's
        // figure cannot change between them, so it is read once per transfer.
        const std::uint64_t full = good ? blocks : (file.bytes - before) / blockLength_;
        std::uint64_t freeBytes = 0;
        if (full > 0) {
            std::uint64_t total = 0;
            freeBytes = GetDriveSpace(file, root_, total);
        }
        for (std::uint64_t n = 0; n < full; ++n) {
            if (const auto end = AfterGoodBlock(file, freeBytes)) {
                return *end;
            }
        }
        if (!good) {
            if (blocks > 1 && lastWrite_.kind == OsStatus::Kind::DiskFull) {
                singleBlocks_ = true; // less room than a transfer: the last blocks one by one
                continue;
            }
            return BlockLoopEnd::WriteFailed;
        }
    }
}

/// One block per write while buffered, as the displays count them; past the cache, as many
/// as a transfer holds without passing the file's limit.
std::size_t Engine::TransferBlocks(const PassFile& file) const {
    if (!file.handle.direct || singleBlocks_) {
        return 1;
    }
    const std::uint64_t room =
        (limits_.fileCap - std::min(state_.gFileBytes, limits_.fileCap)) / limits_.blockSize;
    return static_cast<std::size_t>(
        std::clamp<std::uint64_t>(room, 1, std::max<std::size_t>(limits_.transferBlocks, 1)));
}

std::optional<Engine::BlockLoopEnd> Engine::AfterGoodBlock(PassFile& file,
                                                           std::uint64_t freeBytes) {
    view_.yield();
    state_.gFileBytes += blockLength_;
    view_.yield();
    ShowRemaining(freeBytes);
    view_.yield();
    float percent = 100.0f;
    if (state_.gStartFree > 0) {
        const double used = static_cast<double>(state_.gStartFree) - static_cast<double>(freeBytes);
        percent = static_cast<float>(used / static_cast<double>(state_.gStartFree) * 100.0);
    }
    // Never back: space the filesystem held back and gave up late counts as already reached.
    passProgress_ = std::max(passProgress_, std::clamp(percent, 0.0f, 100.0f));
    view_.setProgress(passProgress_);
    view_.yield();
    view_.setCaption(Caption::Label2, passCaption_);
    view_.yield();

    if (StopRequested()) {
        return BlockLoopEnd::Abort;
    }
    if (state_.gFileBytes >= limits_.fileCap) {
        state_.gFileBytes = 0;
        fillers_->Flush(file);
        view_.yield();
        return BlockLoopEnd::FileFull;
    }
    return std::nullopt;
}

void Engine::TailFill() {
    PassFile& file = state_.gPassFiles.back();
    view_.yield();
    // Asked through the file: a folder renamed or unmounted meanwhile still has its volume.
    std::uint64_t total = 0;
    std::uint64_t freeBytes = GetDriveSpace(file, root_, total);
    ClassifyFailedWrite(file, freeBytes);
    for (;;) {
        if (freeBytes >= blockLength_ || freeBytes == 0) {
            state_.gDriveFull = true;
            BuildBlock(limits_.blockSize);
            state_.gFileBytes = 0;
            view_.yield();
            return;
        }
        if (blockLength_ > 1) {
            BuildBlock(blockLength_ / 2);
        }
        view_.yield();
        const bool good = WriteBlock(file, blockLength_);
        view_.yield();
        freeBytes = GetDriveSpace(file, root_, total);
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
    fillers_->DeleteFrom(0);
}

void Engine::GiveBackHeldSpace(std::size_t firstHeldFile, HeldBackLift& heldBack) {
    // The held-back space got the pass's byte; once that is on the medium, it is freed and
    // handed back at once, before anything else of the pass runs on the full volume.
    auto& files = state_.gPassFiles;
    for (auto file = files.begin() + static_cast<std::ptrdiff_t>(firstHeldFile);
         file != files.end(); ++file) {
        fillers_->Flush(*file);
    }
    // Read back now, as they go first; briefly, as they are few.
    if (Verifies(report_->pass) && !StopRequested()) {
        ReadBack(report_->pass, firstHeldFile, false);
    }
    // Their metadata too, in place: deleted before that, it would keep what it replaced.
    (void)platform_.flushVolume(root_);
    fillers_->DeleteFrom(firstHeldFile);
    heldBack.restore();
}

bool Engine::FinishJob(int pass) {
    if (StopRequested()) {
        state_.gAbort = false;
        state_.gJobRunning = false;
        outcome_.kind = JobOutcome::Kind::Aborted;
        outcome_.drive = driveName_;
        outcome_.leftBehind = failures_.leftBehind();
        return true;
    }
    if (pass >= state_.gPassCount) {
        const auto& failure = failures_.first();
        outcome_.kind = failure ? JobOutcome::Kind::NotCleared : JobOutcome::Kind::Cleared;
        outcome_.drive = driveName_;
        outcome_.cause = failure.value_or(std::string());
        outcome_.leftBehind = failures_.leftBehind();
        view_.showMessage(OutcomeMessage(outcome_));
        state_.gJobRunning = false;
        return true;
    }
    return false;
}

void Engine::TrimFillers() {
    if (!trim_) {
        return;
    }
    outcome_.trim = TrimReport{};
    if (platform_.trimWay(root_) == Platform::TrimWay::Fillers) {
        if (const std::uint64_t bytes = fillers_->Trim(); bytes > 0) {
            outcome_.trim = TrimReport{TrimReport::Way::Fillers, bytes};
        }
    }
}

void Engine::TrimFreeSpace() {
    if (!trim_ || platform_.trimWay(root_) != Platform::TrimWay::FreeSpace) {
        return;
    }
    // The fillers' deletion committed first, or their blocks are not free yet. Trimming a
    // large volume takes a while: it runs beside the window, which goes on answering.
    auto trimmed = std::async(std::launch::async, [this] {
        (void)platform_.flushVolume(root_);
        return platform_.trimFreeSpace(root_);
    });
    while (trimmed.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
        view_.yield();
    }
    if (const auto bytes = trimmed.get()) {
        outcome_.trim = TrimReport{TrimReport::Way::FreeSpace, *bytes};
    }
}

Engine::PassEnd Engine::Refuse(std::string cause) {
    outcome_.kind = JobOutcome::Kind::Refused;
    outcome_.cause = std::move(cause);
    view_.showMessage(OutcomeMessage(outcome_));
    if (outcome_.drive.empty()) {
        view_.focusDriveList();
    }
    state_.gJobRunning = false;
    return PassEnd::Refused;
}

// ---- Small helpers.

void Engine::BuildBlock(std::size_t length) {
    blockLength_ = length; // the buffer already holds the pass's byte
}

void Engine::ClassifyFailedWrite(const PassFile& file, std::uint64_t freeAfter) {
    // Only a full disk ends the filling normally. Some drivers answer a full disk with another
    // code, so a volume that reports no free space after the failure counts as full too.
    if (lastWrite_.kind == OsStatus::Kind::DiskFull || freeAfter == 0) {
        return;
    }
    failures_.Note(RefusalCause(file));
}

std::string Engine::RefusalCause(const PassFile& file) const {
    if (!file.created) {
        if (lastWrite_.kind == OsStatus::Kind::DiskFull) {
            return Because("no more files can be created on the drive", lastWrite_);
        }
        return Because(file.path + " cannot be created", lastWrite_);
    }
    switch (lastWrite_.kind) {
    case OsStatus::Kind::QuotaExceeded:
        return Because("the disk quota is used up", lastWrite_);
    case OsStatus::Kind::FileTooLarge:
        return Because("a file size limit stops the filler files", lastWrite_);
    default:
        return Because(file.path + " cannot be written", lastWrite_);
    }
}

// ---- Full means full.

/// The tail fill has ended: the fill counts as complete only if the volume has less than one
/// block free, whatever the refusal said; and only if it is still the volume the job began on.
void Engine::JudgeFill() {
    fillers_->VerifyFolder();
    PassFile& file = state_.gPassFiles.back();
    // xfs's figure needs no settling: what it refused it keeps.
    if (!KeepsWhatItRefused() && FreeAfterSettling(file) >= limits_.blockSize) {
        failures_.Note(RefusalCause(file));
    }
}

std::uint64_t Engine::FreeAfterSettling(PassFile& file) {
    std::uint64_t total = 0;
    std::uint64_t freeBytes = GetDriveSpace(file, root_, total);
    if (freeBytes < limits_.blockSize || !file.created ||
        lastWrite_.kind != OsStatus::Kind::DiskFull) {
        return freeBytes;
    }
    // Some filesystems (btrfs) count written data as used only once it is committed: after a
    // full disk was reported, the figure is given a bounded while to catch up.
    fillers_->Flush(file);
    for (int round = 0; round < 40 && freeBytes >= limits_.blockSize; ++round) {
        // Up to two seconds: the window goes on answering meanwhile.
        for (int step = 0; step < 5; ++step) {
            view_.yield();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        freeBytes = GetDriveSpace(file, root_, total);
    }
    return freeBytes;
}

/// Abort, or the process asked to end (a signal, the session closing), which counts as Abort.
bool Engine::StopRequested() {
    if (TerminationRequested()) {
        state_.gAbort = true;
    }
    return state_.gAbort;
}

void Engine::ShowRemaining(std::uint64_t freeBytes) {
    remainingText_.assign("Remaining: ");
    AppendNumber(remainingText_, freeBytes);
    remainingText_ += " bytes";
    view_.setCaption(Caption::Label9, remainingText_);
    progress_.free = freeBytes;
    view_.progressed(progress_);
}

} // namespace klar
