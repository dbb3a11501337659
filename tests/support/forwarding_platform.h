#pragma once

#include "platform/platform.h"

#include <memory>
#include <string>
#include <utility>

namespace klar::test {

/// Passes every call on to another platform. Test doubles derive from it and override only the
/// calls they change or watch, so a call added to the interface reaches the real backend in
/// every one of them.
class ForwardingPlatform : public Platform {
public:
    explicit ForwardingPlatform(Platform& real) : real_(&real) {}
    explicit ForwardingPlatform(std::unique_ptr<Platform> owned)
        : owned_(std::move(owned)), real_(owned_.get()) {}

    bool pathExists(const std::string& path) override { return real_->pathExists(path); }
    OsStatus createExclusive(const std::string& path, FillerHandle& out) override {
        return real_->createExclusive(path, out);
    }
    OsStatus append(FillerHandle& file, const std::uint8_t* data, std::size_t size,
                    std::size_t& written) override {
        return real_->append(file, data, size, written);
    }
    bool writeDirect(FillerHandle& file) override { return real_->writeDirect(file); }
    OsStatus flush(FillerHandle& file) override { return real_->flush(file); }
    OsStatus addMetadata(FillerHandle& file, std::uint64_t n, const std::uint8_t* data,
                         std::size_t size) override {
        return real_->addMetadata(file, n, data, size);
    }
    OsStatus readBack(FillerHandle& file, std::uint64_t offset, std::uint8_t* data,
                      std::size_t size, std::size_t& read) override {
        return real_->readBack(file, offset, data, size, read);
    }
    OsStatus release(FillerHandle& file) override { return real_->release(file); }
    void close(FillerHandle& file) override { real_->close(file); }
    OsStatus removeCreated(const std::string& path, const FileId& id) override {
        return real_->removeCreated(path, id);
    }
    OsStatus removeFiller(const std::string& path, FillerHandle& file) override {
        return real_->removeFiller(path, file);
    }
    LeftoverEnd removeLeftover(const LeftoverFiller& filler, std::uint64_t& bytes) override {
        return real_->removeLeftover(filler, bytes);
    }
    OsStatus driveSpace(const std::string& root, SpaceInfo& out) override {
        return real_->driveSpace(root, out);
    }
    OsStatus driveSpaceThrough(const FillerHandle& file, const std::string& root,
                               SpaceInfo& out) override {
        return real_->driveSpaceThrough(file, root, out);
    }
    OsStatus folderIdentity(const std::string& path, FolderId& out) override {
        return real_->folderIdentity(path, out);
    }
    OsStatus recordSpace(const std::string& root, RecordSpace& out) override {
        return real_->recordSpace(root, out);
    }
    OsStatus flushVolume(const std::string& root) override { return real_->flushVolume(root); }
    TrimWay trimWay(const std::string& root) override { return real_->trimWay(root); }
    std::optional<std::uint64_t> trimFreeSpace(const std::string& root) override {
        return real_->trimFreeSpace(root);
    }
    std::optional<std::uint64_t> trimFiller(FillerHandle& file) override {
        return real_->trimFiller(file);
    }
    VolumeNames volumeNames(const std::string& root) override { return real_->volumeNames(root); }
    std::optional<KeptSpace> keptSpace(const std::string& root) override {
        return real_->keptSpace(root);
    }
    OsStatus fillerExtents(FillerHandle& file, std::vector<FillerExtent>& out) override {
        return real_->fillerExtents(file, out);
    }
    OsStatus punchFiller(FillerHandle& file, std::uint64_t offset, std::uint64_t length) override {
        return real_->punchFiller(file, offset, length);
    }
    OsStatus writeFillerAt(FillerHandle& file, std::uint64_t offset, const std::uint8_t* data,
                           std::size_t size) override {
        return real_->writeFillerAt(file, offset, data, size);
    }
    HeldBack liftHeldBack(const std::string& root) override { return real_->liftHeldBack(root); }
    void restoreHeldBack() override { real_->restoreHeldBack(); }
    void restoreLeftovers() override { real_->restoreLeftovers(); }
    StateFiles& stateFiles() override { return real_->stateFiles(); }
    std::string driveStrings() override { return real_->driveStrings(); }
    std::string rootPath(const std::string& text) override { return real_->rootPath(text); }
    std::string driveName(const std::string& text) override { return real_->driveName(text); }
    std::string joinPath(const std::string& root, const std::string& name) override {
        return real_->joinPath(root, name);
    }

protected:
    Platform& real() { return *real_; }

private:
    std::unique_ptr<Platform> owned_;
    Platform* real_;
};

} // namespace klar::test
