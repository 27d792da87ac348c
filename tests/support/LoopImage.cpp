#include "LoopImage.h"

#include <unistd.h>

#include <filesystem>

#include "TempDir.h"
#include "Waiting.h"

namespace tolvane::test {
namespace {
std::string Quote(const std::string& text) {
    return "'" + text + "'";
}

// A busy file system is detached lazily rather than left behind.
void Detach(const std::string& mountPoint) {
    if (RunCommand("umount " + Quote(mountPoint)) != 0) {
        RunCommand("umount -l " + Quote(mountPoint));
    }
}
}  // namespace

LoopImage::LoopImage(const std::string& folder, const std::string& fsType, int megabytes,
                     const LoopImageOptions& options)
    : m_image((options.imageFolder.empty() ? folder : options.imageFolder) + "/" + fsType + ".img"),
      m_mountPoint(folder + "/mnt"),
      m_fsType(fsType),
      m_mountOptions(options.mountOptions) {
    if (::geteuid() != 0) {
        m_skipReason = "mounting needs root";
        return;
    }
    std::filesystem::create_directories(m_mountPoint);
    std::string output;
    if (RunCommand("truncate -s " + std::to_string(megabytes) + "M " + Quote(m_image), &output) !=
        0) {
        m_skipReason = "cannot make the image file: " + output;
        return;
    }
    std::string mkfs = "mkfs." + fsType + (fsType == "ext4" ? " -q -F " : " -q -f ") +
                       (options.mkfsOptions.empty() ? "" : options.mkfsOptions + " ");
    if (RunCommand(mkfs + Quote(m_image), &output) != 0) {
        m_skipReason = "mkfs." + fsType + " failed: " + output;
        return;
    }
    Mount();
}

LoopImage::~LoopImage() {
    if (m_mounted) {
        Detach(m_mountPoint);
    }
    std::error_code ignored;
    std::filesystem::remove(m_image, ignored);
}

bool LoopImage::Mount() {
    std::string output;
    const std::string loopOptions = m_mountOptions.empty() ? "loop" : "loop," + m_mountOptions;
    if (RunCommand(
            "mount -o " + Quote(loopOptions) + " " + Quote(m_image) + " " + Quote(m_mountPoint),
            &output) != 0) {
        m_skipReason = "mount -o loop failed: " + output;
        return false;
    }
    m_mounted = true;
    return true;
}

bool LoopImage::Unmount() {
    // A program under test may be looking into the volume for a moment (the browser probes
    // every volume for a trash folder): a busy volume is tried again for up to two seconds.
    m_mounted = m_mounted &&
                !Eventually([this] { return RunCommand("umount " + Quote(m_mountPoint)) == 0; },
                            [] { ::usleep(100 * 1000); }, std::chrono::seconds(2));
    return !m_mounted;
}

bool LoopImage::Remount() {
    return m_mounted || Mount();
}

std::string LoopImage::ReadImage() const {
    return ReadFile(m_image);
}

FolderMount::FolderMount(const std::string& what, const std::string& options,
                         const std::string& source, const std::string& target)
    : m_target(target) {
    std::string output;
    if (::geteuid() != 0) {
        m_skipReason = what + " need root";
    } else if (RunCommand("mount " + options + " " + Quote(source) + " " + Quote(target),
                          &output) != 0) {
        m_skipReason = "mount " + options + " failed: " + output;
    } else {
        m_mounted = true;
    }
}

FolderMount::~FolderMount() {
    if (m_mounted) {
        Detach(m_target);
    }
}

}  // namespace tolvane::test
