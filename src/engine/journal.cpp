#include "engine/journal.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>

namespace klar {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kHeader = "klarvenor journal 2\n";
// A journal of the version before this one: "volume index fill path" lines.
constexpr std::string_view kHeaderV1 = "klarvenor journal 1\n";
constexpr const char* kExtension = ".journal";
/// No journal of ours comes near this (a pass lists at most about a million small files and
/// the journal starts over after every pass that deleted all of its own).
constexpr std::uint64_t kLargestJournal = 256ull << 20;
constexpr std::size_t kLongestLine = 65'536;
/// How long fillers on a drive that is not there are looked for at each start: a drive
/// reformatted or gone for good must not be named at every start for ever.
constexpr std::int64_t kKeptFor = std::int64_t{30} * 24 * 3600;

std::int64_t Now() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

fs::path PathOf(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Of(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

/// A path in one line whatever it holds: '%', line breaks and other control bytes as %XX.
std::string Escape(const std::string& text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '%' || byte < 0x20 || byte == 0x7F) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<std::string> Unescape(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        unsigned value = 0;
        if (i + 3 > text.size() ||
            std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16).ptr !=
                text.data() + i + 3) {
            return std::nullopt;
        }
        out += static_cast<char>(value);
        i += 2;
    }
    return out;
}

/// Splits off the next field of a line (up to a space); false when there is none.
bool Field(std::string_view& line, std::string_view& field) {
    if (line.empty()) {
        return false;
    }
    const auto space = line.find(' ');
    field = line.substr(0, space);
    line = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
    return !field.empty();
}

template <typename Number> bool NumberField(std::string_view& line, Number& value) {
    std::string_view field;
    return Field(line, field) &&
           std::from_chars(field.data(), field.data() + field.size(), value).ptr ==
               field.data() + field.size();
}

/// Replays one journal's records in order. A filler announced and never recorded as made
/// (its job died in between) is looked for as an empty file.
class Replay {
public:
    Replay(Platform& platform, Leftovers& total, JobJournal& keep)
        : platform_(platform), total_(total), keep_(keep) {}

    void Line(std::string_view line, bool v1) {
        std::string_view kind;
        if (v1) {
            OldLine(line);
        } else if (!Field(line, kind)) {
            return;
        } else if (kind == "folder") {
            FolderLine(line);
        } else if (kind == "since") {
            (void)NumberField(line, since_);
        } else if (kind == "next") {
            Settle();
            unsigned fill = 0;
            std::string_view name;
            if (folderKnown_ && NumberField(line, fill) && fill <= 255 && Field(line, name)) {
                pending_ = LeftoverFiller{folder_, folderId_, std::string(name), std::nullopt,
                                          static_cast<std::uint8_t>(fill)};
            }
        } else if (kind == "made" && pending_) {
            FileId id;
            std::string_view name;
            if (NumberField(line, id.volume) && NumberField(line, id.index) && Field(line, name) &&
                name == pending_->name) {
                pending_->id = id;
                Settle();
            }
        } else if (kind == "none" && pending_ && line == pending_->name) {
            pending_.reset();
        }
    }

    void Settle() {
        if (!pending_) {
            return;
        }
        LeftoverFiller filler = std::move(*pending_);
        pending_.reset();
        if (!IsFillerName(filler.name)) {
            return; // never a name the job gives: not to be touched
        }
        std::uint64_t bytes = 0;
        switch (platform_.removeLeftover(filler, bytes)) {
        case LeftoverEnd::Removed:
            ++total_.files;
            total_.bytes += bytes;
            break;
        case LeftoverEnd::Unreachable:
            Keep(filler);
            break;
        case LeftoverEnd::Gone:
        case LeftoverEnd::NotOurs:
            break;
        }
    }

private:
    void FolderLine(std::string_view line) {
        folderKnown_ = false;
        std::optional<std::string> path;
        if (NumberField(line, folderId_.volume) && NumberField(line, folderId_.folder) &&
            (path = Unescape(line)) && PathOf(*path).is_absolute()) {
            folder_ = *path;
            folderKnown_ = true;
        }
    }

    /// "volume index fill path": the folder is the path's own, if it is still on that volume.
    void OldLine(std::string_view line) {
        FileId id;
        unsigned fill = 0;
        if (!NumberField(line, id.volume) || !NumberField(line, id.index) ||
            !NumberField(line, fill) || fill > 255) {
            return;
        }
        const fs::path path = PathOf(std::string(line));
        FolderId folderId;
        if (!path.is_absolute() ||
            !platform_.folderIdentity(Utf8Of(path.parent_path()), folderId).ok() ||
            folderId.volume != id.volume) {
            return;
        }
        pending_ = LeftoverFiller{Utf8Of(path.parent_path()), folderId, Utf8Of(path.filename()), id,
                                  static_cast<std::uint8_t>(fill)};
        Settle();
    }

    void Keep(const LeftoverFiller& filler) {
        if (Now() - since_ > kKeptFor || (!keep_.IsOpen() && !keep_.Open().ok())) {
            return;
        }
        if (since_ != keptSince_ && keep_.Since(since_).ok()) {
            keptSince_ = since_;
        }
        if (keep_.Next(filler.folder, filler.folderId, filler.name, filler.fill, false).ok() &&
            (!filler.id || keep_.Made(filler.name, *filler.id, false).ok())) {
            ++total_.kept;
        }
    }

    Platform& platform_;
    Leftovers& total_;
    JobJournal& keep_;
    bool folderKnown_ = false;
    std::string folder_;
    FolderId folderId_;
    std::optional<LeftoverFiller> pending_;
    std::int64_t since_ = Now(); ///< when its fillers were first found out of reach
    std::int64_t keptSince_ = -1;
};

/// Reads a journal in bounded pieces, line by line; false when it is not a journal of ours.
bool ReadLines(StateFiles& files, HeldFile& file, std::uint64_t size, Replay& replay) {
    std::string line;
    bool skipping = false; // within a line too long to be ours
    bool first = true;
    bool v1 = false;
    std::string piece(65'536, '\0');
    for (std::uint64_t at = 0; at < size;) {
        const std::size_t got = files.read(file, at, piece.data(), piece.size());
        if (got == 0) {
            break;
        }
        at += got;
        for (std::size_t i = 0; i < got; ++i) {
            if (piece[i] != '\n') {
                if (!skipping && line.size() < kLongestLine) {
                    line += piece[i];
                } else {
                    skipping = true;
                }
                continue;
            }
            if (first) {
                line += '\n';
                if (line != kHeader && line != kHeaderV1) {
                    return false;
                }
                v1 = line == kHeaderV1;
                first = false;
            } else if (!skipping) {
                replay.Line(line, v1);
            }
            line.clear();
            skipping = false;
        }
    }
    replay.Settle();
    return !first;
}

Leftovers ReplayJournal(Platform& platform, const std::string& folder, const std::string& name,
                        JobJournal& keep) {
    Leftovers result;
    StateFiles& files = platform.stateFiles();
    HeldFile held;
    std::uint64_t size = 0;
    const OsStatus taken = files.takeOver(folder, name, kLargestJournal, held, size);
    if (taken.kind == OsStatus::Kind::Exists) {
        return result; // its job still runs
    }
    if (!taken.ok()) {
        result.skipped.push_back(name + " (" + taken.text + ")");
        return result;
    }
    Replay replay(platform, result, keep);
    const bool ours = ReadLines(files, held, size, replay);
    files.close(held);
    if (!ours) {
        result.skipped.push_back(name + " (it is not a journal of this program)");
        return result;
    }
    (void)files.remove(folder, name);
    return result;
}

} // namespace

bool IsFillerName(const std::string& name) {
    const auto dot = name.find('.');
    return dot != std::string::npos && dot >= 8 && dot <= 20 && name.substr(dot) == ".txt" &&
           std::all_of(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(dot),
                       [](char c) { return c >= '0' && c <= '9'; });
}

JobJournal::JobJournal(StateFiles& files, std::string folder)
    : files_(files), folder_(std::move(folder)) {}

JobJournal::~JobJournal() {
    files_.close(file_);
}

OsStatus JobJournal::Open() {
    if (file_.open()) {
        return OsStatus::success();
    }
    OsStatus usable = files_.check(folder_);
    if (!usable.ok()) {
        return usable;
    }
    OsStatus created{OsStatus::Kind::Exists, 0, "every journal name is taken"};
    for (int n = 1; n < 10'000 && created.kind == OsStatus::Kind::Exists; ++n) {
        name_ = "job-" + std::to_string(n) + kExtension;
        created = files_.create(folder_, name_, file_);
    }
    if (!created.ok()) {
        return created;
    }
    folderWritten_.clear();
    OsStatus header = Write(std::string(kHeader), true);
    if (!header.ok()) {
        End(false);
    }
    return header;
}

OsStatus JobJournal::Next(const std::string& folder, const FolderId& folderId,
                          const std::string& name, std::uint8_t fill, bool flush) {
    std::string lines;
    // A pass fills one folder: its record is made once, not for each of its fillers.
    const bool recorded =
        !folderWritten_.empty() && folder == folderWritten_ && folderId == folderIdWritten_;
    if (!recorded) {
        std::error_code ec;
        const fs::path absolute = fs::absolute(PathOf(folder), ec);
        if (ec) {
            return {OsStatus::Kind::Failed, ec.value(), ec.message()};
        }
        lines = "folder " + std::to_string(folderId.volume) + " " +
                std::to_string(folderId.folder) + " " + Escape(Utf8Of(absolute)) + "\n";
    }
    lines += "next " + std::to_string(fill) + " " + name + "\n";
    OsStatus written = Write(lines, flush);
    if (written.ok() && !recorded) {
        folderWritten_ = folder;
        folderIdWritten_ = folderId;
    }
    return written;
}

OsStatus JobJournal::Made(const std::string& name, const FileId& id, bool flush) {
    return Write("made " + std::to_string(id.volume) + " " + std::to_string(id.index) + " " + name +
                     "\n",
                 flush);
}

OsStatus JobJournal::Since(std::int64_t time) {
    folderWritten_.clear(); // the records after it name their folder again
    return Write("since " + std::to_string(time) + "\n", false);
}

OsStatus JobJournal::NotMade(const std::string& name) {
    return Write("none " + name + "\n", false);
}

OsStatus JobJournal::Write(const std::string& line, bool flush) {
    if (!file_.open()) {
        return {OsStatus::Kind::Failed, 0, "the journal is not open"};
    }
    return files_.append(file_, line, flush);
}

void JobJournal::Flush() {
    if (file_.open()) {
        (void)files_.append(file_, {}, true);
    }
}

void JobJournal::Clear() {
    if (file_.open() && files_.truncate(file_, kHeader.size()).ok()) {
        folderWritten_.clear();
    }
}

void JobJournal::End(bool leftBehind) {
    if (!file_.open()) {
        return;
    }
    files_.close(file_);
    if (!leftBehind) {
        (void)files_.remove(folder_, name_);
    }
}

Leftovers RemoveLeftovers(Platform& platform, const std::string& folder) {
    Leftovers total;
    if (folder.empty()) {
        return total;
    }
    if (const OsStatus usable = platform.stateFiles().check(folder); !usable.ok()) {
        total.skipped.push_back("the state folder " + folder + " (" + usable.text + ")");
        return total;
    }
    // What cannot be reached now goes into a journal of its own for a later start.
    JobJournal keep(platform.stateFiles(), folder);
    for (const std::string& name : platform.stateFiles().list(folder, kExtension)) {
        Leftovers removed = ReplayJournal(platform, folder, name, keep);
        total.files += removed.files;
        total.bytes += removed.bytes;
        total.kept += removed.kept;
        for (std::string& skipped : removed.skipped) {
            total.skipped.push_back(folder + "/");
            total.skipped.back() += skipped;
        }
    }
    keep.Flush();
    return total;
}

std::string LeftoversMessage(const Leftovers& leftovers) {
    std::string message;
    if (leftovers.files > 0) {
        const std::string files = leftovers.files == 1 ? " filler file (" : " filler files (";
        message = "An interrupted job had left " + std::to_string(leftovers.files) + files +
                  std::to_string(leftovers.bytes) + " bytes). " +
                  (leftovers.files == 1 ? "It was removed." : "They were removed.");
    }
    if (leftovers.kept > 0) {
        message += std::string(message.empty() ? "" : " ") + std::to_string(leftovers.kept) +
                   (leftovers.kept == 1 ? " filler file" : " filler files") +
                   " of an interrupted job cannot be reached now; they are removed at a later "
                   "start, once their drive is back.";
    }
    for (const std::string& skipped : leftovers.skipped) {
        message += std::string(message.empty() ? "" : " ") +
                   "Not trusted and left alone: " + skipped + ".";
    }
    return message;
}

std::string CleanUpAfterDeadJobs(Platform& platform) {
    const StateFolderChoice state = ChooseStateFolder();
    platform.restoreLeftovers();
    const std::string removed = LeftoversMessage(RemoveLeftovers(platform, state.path));
    if (state.notice.empty() || removed.empty()) {
        return state.notice + removed;
    }
    return state.notice + " " + removed;
}

} // namespace klar
