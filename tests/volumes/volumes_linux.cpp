#include "volume_folder.h"
#include "volumes.h"

#include <filesystem>
#include <unistd.h>

namespace klar::test {
namespace fs = std::filesystem;
namespace {

/// A private folder for one volume; empty when it cannot be made.
std::string MakeVolumeFolder() {
    std::string path = (fs::temp_directory_path() / "klar-volume-XXXXXX").string();
    return ::mkdtemp(path.data()) != nullptr ? path : std::string();
}

class FolderVolume final : public ImageVolume {
public:
    FolderVolume(std::string folder, VolumeRequest request)
        : folder_(std::move(folder)), spec_(std::move(request)), root_(MountPointIn(folder_)),
          image_(ImageIn(folder_)) {}
    ~FolderVolume() override {
        std::string ignored;
        if (RemoveVolumeIn(folder_, ignored)) {
            ::rmdir(folder_.c_str());
        }
    }
    FolderVolume(const FolderVolume&) = delete;
    FolderVolume& operator=(const FolderVolume&) = delete;

    const std::string& root() const override { return root_; }
    const std::string& driveText() const override { return root_; }
    std::string driveName() const override { return root_; }
    const std::string& imagePath() const override { return image_; }
    void unmount() override {
        std::string ignored;
        (void)UnmountVolumeIn(folder_, ignored);
    }
    bool mount() override {
        std::string ignored;
        return MountVolumeIn(folder_, spec_, ignored);
    }

private:
    std::string folder_;
    VolumeRequest spec_;
    std::string root_;
    std::string image_;
};

std::unique_ptr<FolderVolume> MakeVolume(const VolumeRequest& request, std::string& whyNot) {
    const std::string folder = MakeVolumeFolder();
    if (folder.empty()) {
        whyNot = "cannot make a folder for the volume under " + fs::temp_directory_path().string();
        return nullptr;
    }
    if (MakeVolumeIn(folder, request, whyNot).empty()) {
        ::rmdir(folder.c_str());
        return nullptr;
    }
    return std::make_unique<FolderVolume>(folder, request);
}

} // namespace

std::unique_ptr<TestVolume> MakeRamVolume(std::uint64_t bytes, std::string& whyNot) {
    return MakeVolume({"tmpfs", bytes}, whyNot);
}

std::unique_ptr<ImageVolume> MakeImageVolume(std::uint64_t bytes, std::string& whyNot,
                                             const std::string& filesystem) {
    if (filesystem == "tmpfs") {
        whyNot = "a tmpfs has no image";
        return nullptr;
    }
    return MakeVolume({filesystem, bytes}, whyNot);
}

} // namespace klar::test
