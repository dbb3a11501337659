// Read-back: a verified pass reads its fillers back from the medium before they are deleted,
// so that a job says "cleared" only for bytes that are there to read.
#include "engine/engine.h"
#include "engine/pass_failure.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iterator>

namespace klar {

bool Engine::Verifies(int pass) const {
    return verify_ == VerifyPasses::All ||
           (verify_ == VerifyPasses::Last && pass >= state_.gPassCount);
}

void Engine::ReadBack(int pass, std::size_t first, bool shown) {
    const auto started = std::chrono::steady_clock::now();
    if (!report_->verify) {
        report_->verify.emplace(); // complete only once the last part is read whole
        readBackWhole_ = true;
    }
    VerifyReport& report = *report_->verify;
    auto& files = state_.gPassFiles;
    const auto from = files.begin() + static_cast<std::ptrdiff_t>(first);
    std::uint64_t total = report.bytes;
    for (auto file = from; file != files.end(); ++file) {
        if (file->handle.open() && file->bytes > 0) {
            fillers_->Flush(*file); // what is read must come from the medium
            total += file->bytes;
            for (const FillerHole& hole : HolesIn(*file)) {
                total -= hole.length;
            }
        }
    }
    // Whole aligned runs, so that the read can pass the cache; compared with the pass's
    // buffer, which holds nothing but its byte.
    std::size_t chunk = buffer_.size() - buffer_.size() % kDirectAlignment;
    if (chunk == 0) {
        chunk = buffer_.size();
    }
    if (readBuffer_.size() != chunk) {
        readBuffer_ = AlignedBuffer(chunk);
    }
    if (shown) {
        view_.verifyStarted(pass, total);
        view_.yield();
    }

    std::uint64_t done = report.bytes;
    const bool whole = std::all_of(from, files.end(), [&](PassFile& file) {
        return !file.handle.open() || file.bytes == 0 || ReadBackFile(file, report, done, shown);
    });
    readBackWhole_ = readBackWhole_ && whole;
    report.complete = shown && readBackWhole_;
    report.seconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!shown) {
        return;
    }
    if (report.wrongBytes > 0) {
        failures_.Note(WithSeparators(report.wrongBytes) +
                       (report.wrongBytes == 1 ? " byte" : " bytes") +
                       " read back wrong, the first in " + report.firstWrongFile + " at offset " +
                       std::to_string(report.firstWrongOffset));
    }
    view_.verifyEnded(report);
}

std::vector<Engine::FillerHole> Engine::HolesIn(const PassFile& file) const {
    std::vector<FillerHole> holes;
    std::copy_if(holes_.begin(), holes_.end(), std::back_inserter(holes),
                 [&file](const FillerHole& hole) { return hole.file == &file; });
    std::sort(holes.begin(), holes.end(),
              [](const FillerHole& a, const FillerHole& b) { return a.offset < b.offset; });
    return holes;
}

bool Engine::ReadBackFile(PassFile& file, VerifyReport& report, std::uint64_t& done, bool shown) {
    std::uint64_t offset = 0;
    for (const FillerHole& hole : HolesIn(file)) {
        if (!ReadBackRange(file, offset, hole.offset, report, done, shown)) {
            return false;
        }
        offset = hole.offset + hole.length;
    }
    return ReadBackRange(file, offset, file.bytes, report, done, shown);
}

bool Engine::ReadBackRange(PassFile& file, std::uint64_t offset, std::uint64_t end,
                           VerifyReport& report, std::uint64_t& done, bool shown) {
    const std::size_t chunk = readBuffer_.size();
    while (offset < end) {
        const std::uint64_t left = end - offset;
        // Rounded up to the alignment: the end of the file makes the last read short.
        const std::uint64_t rounded =
            (left + kDirectAlignment - 1) / kDirectAlignment * kDirectAlignment;
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, rounded));
        std::size_t got = 0;
        const OsStatus status =
            platform_.readBack(file.handle, offset, readBuffer_.data(), want, got);
        if (!status.ok()) {
            report.error = status.text;
            failures_.Note(Because(file.path + " cannot be read back", status));
            return false;
        }
        const auto useful = static_cast<std::size_t>(std::min<std::uint64_t>(got, left));
        if (useful == 0) {
            report.error = "the file is shorter than what was written";
            failures_.Note(file.path + " reads back " + WithSeparators(offset) + " of the " +
                           WithSeparators(file.bytes) + " bytes written");
            return false;
        }
        const std::uint8_t* data = readBuffer_.data();
        if (std::memcmp(data, buffer_.data(), useful) != 0) {
            for (std::size_t at = 0; at < useful; ++at) {
                if (data[at] != patternByte_ && report.wrongBytes++ == 0) {
                    report.firstWrongFile = file.path;
                    report.firstWrongOffset = offset + at;
                }
            }
        }
        offset += useful;
        report.bytes += useful;
        done += useful;
        if (shown) {
            view_.verifyProgressed(done);
        }
        view_.yield();
        if (StopRequested()) {
            return false; // within one transfer of Abort
        }
    }
    return true;
}

} // namespace klar
