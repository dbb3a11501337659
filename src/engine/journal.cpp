#include "journal.h"

#include "state_folder.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

namespace klar {
namespace fs = std::filesystem;
namespace {

constexpr const char* kHeader = "klarvenor journal 1\n";
constexpr const char* kExtension = ".journal";

fs::path PathOf(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Of(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

struct Record {
    FileId id;
    unsigned fill = 0;
    std::string path;
};

std::vector<Record> ParseJournal(const std::string& content) {
    std::vector<Record> records;
    std::istringstream lines(content);
    std::string line;
    std::getline(lines, line); // the header
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        Record record;
        if (fields >> record.id.volume >> record.id.index >> record.fill && record.fill <= 255 &&
            fields.get() == ' ' && std::getline(fields, record.path) && !record.path.empty()) {
            records.push_back(std::move(record));
        }
    }
    return records;
}

/// True when path is a plain file whose first bytes are all the fill byte (or that is empty):
/// a second check, on top of its identity, that it is the filler the journal names.
bool HoldsOnlyFill(const fs::path& path, std::uint8_t fill, std::uint64_t& size) {
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(path, ec))) {
        return false;
    }
    size = fs::file_size(path, ec);
    if (ec) {
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::vector<char> head(65'536);
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    for (std::size_t i = 0; i < got; ++i) {
        if (static_cast<std::uint8_t>(head[i]) != fill) {
            return false;
        }
    }
    return got == std::min<std::uint64_t>(size, head.size());
}

Leftovers ReplayJournal(Platform& platform, const fs::path& journal) {
    Leftovers removed;
    FillerHandle held;
    std::string content;
    if (!TakeOverHeldFile(Utf8Of(journal), held, content).ok()) {
        return removed; // its job still runs, or it cannot be read: left for a later start
    }
    if (content.rfind(kHeader, 0) == 0) {
        for (const Record& record : ParseJournal(content)) {
            std::uint64_t size = 0;
            if (HoldsOnlyFill(PathOf(record.path), static_cast<std::uint8_t>(record.fill), size) &&
                platform.removeCreated(record.path, record.id).ok()) {
                ++removed.files;
                removed.bytes += size;
            }
        }
    }
    CloseHeldFile(held);
    std::error_code ec;
    fs::remove(journal, ec);
    return removed;
}

} // namespace

JobJournal::JobJournal(std::string folder) : folder_(std::move(folder)) {}

JobJournal::~JobJournal() {
    CloseHeldFile(file_);
}

bool JobJournal::Add(const std::string& path, const FileId& id, std::uint8_t fill, bool flush) {
    if (path.find('\n') != std::string::npos) {
        return false;
    }
    if (!file_.open()) {
        if (folder_.empty()) {
            return false;
        }
        std::error_code ec;
        fs::create_directories(PathOf(folder_), ec);
        for (int n = 1; n < 10'000 && !file_.open(); ++n) {
            path_ = Utf8Of(PathOf(folder_) / ("job-" + std::to_string(n) + kExtension));
            const OsStatus created = CreateHeldFile(path_, file_);
            if (!created.ok() && created.kind != OsStatus::Kind::Exists) {
                return false;
            }
        }
        if (!file_.open() || !AppendToHeldFile(file_, kHeader).ok()) {
            return false;
        }
    }
    return AppendToHeldFile(file_,
                            std::to_string(id.volume) + " " + std::to_string(id.index) + " " +
                                std::to_string(fill) + " " + path + "\n",
                            flush)
        .ok();
}

void JobJournal::Flush() {
    if (file_.open()) {
        (void)AppendToHeldFile(file_, {}, true);
    }
}

void JobJournal::End() {
    if (!file_.open()) {
        return;
    }
    CloseHeldFile(file_);
    std::error_code ec;
    fs::remove(PathOf(path_), ec);
}

Leftovers RemoveLeftovers(Platform& platform, const std::string& folder) {
    Leftovers total;
    std::error_code ec;
    if (folder.empty()) {
        return total;
    }
    std::vector<fs::path> journals;
    for (const auto& entry : fs::directory_iterator(PathOf(folder), ec)) {
        if (entry.path().extension() == kExtension) {
            journals.push_back(entry.path());
        }
    }
    for (const fs::path& journal : journals) {
        const Leftovers removed = ReplayJournal(platform, journal);
        total.files += removed.files;
        total.bytes += removed.bytes;
    }
    return total;
}

std::string LeftoversMessage(const Leftovers& leftovers) {
    if (leftovers.files == 0) {
        return {};
    }
    const std::string files = leftovers.files == 1 ? " filler file (" : " filler files (";
    return "An interrupted job had left " + std::to_string(leftovers.files) + files +
           std::to_string(leftovers.bytes) + " bytes). " +
           (leftovers.files == 1 ? "It was removed." : "They were removed.");
}

std::string CleanUpAfterDeadJobs(Platform& platform) {
    platform.restoreLeftovers();
    return LeftoversMessage(RemoveLeftovers(platform, StateFolder()));
}

} // namespace klar
