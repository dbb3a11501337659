#include "platform/state_folder.h"

namespace klar {
namespace {

class SystemFiles final : public StateFiles {
public:
    OsStatus check(const std::string& folder) override { return CheckStateFolder(folder); }
    OsStatus create(const std::string& folder, const std::string& name, HeldFile& out) override {
        return CreateHeldFile(folder, name, out);
    }
    OsStatus append(HeldFile& file, const std::string& text, bool flush) override {
        return AppendToHeldFile(file, text, flush);
    }
    OsStatus truncate(HeldFile& file, std::uint64_t size) override {
        return TruncateHeldFile(file, size);
    }
    void close(HeldFile& file) override { CloseHeldFile(file); }
    std::vector<std::string> list(const std::string& folder, const std::string& suffix) override {
        return ListStateFiles(folder, suffix);
    }
    OsStatus takeOver(const std::string& folder, const std::string& name, std::uint64_t maxBytes,
                      HeldFile& out, std::uint64_t& size) override {
        return TakeOverHeldFile(folder, name, maxBytes, out, size);
    }
    std::size_t read(HeldFile& file, std::uint64_t offset, char* data, std::size_t size) override {
        return ReadHeldFile(file, offset, data, size);
    }
    bool remove(const std::string& folder, const std::string& name) override {
        return RemoveStateFile(folder, name);
    }
};

} // namespace

StateFiles& SystemStateFiles() {
    static SystemFiles files;
    return files;
}

StateFiles& Platform::stateFiles() {
    return SystemStateFiles();
}

} // namespace klar
