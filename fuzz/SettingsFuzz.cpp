// The settings file, which any program of the user can change. It is read through the same
// functions as the window's start-up, from a file in a private configuration folder.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "FuzzChecks.h"
#include "app/MainSettings.h"
#include "app/SettingsStore.h"
#include "items/DataMemoryWriter.h"
#include "settings/SettingsFile.h"

using namespace tolvane;
using namespace tolvane::fuzz;

namespace {

// A configuration folder of our own, so no real settings are read or written; in memory
// where there is /dev/shm, as every run writes the file a few times. Removed at exit.
class PrivateSettings {
public:
    PrivateSettings() {
        char inMemory[] = "/dev/shm/tolvane-settings-fuzz-XXXXXX";
        char onDisk[] = "/tmp/tolvane-settings-fuzz-XXXXXX";
        const char* folder = ::mkdtemp(inMemory);
        folder = folder != nullptr ? folder : ::mkdtemp(onDisk);
        Require(folder != nullptr, "a private configuration folder can be made");
        m_folder = folder;
        ::setenv("HOME", folder, 1);
        ::setenv("XDG_CONFIG_HOME", folder, 1);
        Require(SettingsFileUsable(&m_file), "the settings file is ours to write");
        Require(m_file.rfind(m_folder, 0) == 0, "the settings file lies in the private folder");
        m_parent = m_file.substr(0, m_file.rfind('/'));
        Require(::mkdir(m_parent.c_str(), 0700) == 0, "the settings folder can be made");
    }
    ~PrivateSettings() {
        for (const std::string& name : {m_file, m_file + ".lock"}) {
            ::unlink(name.c_str());  // absent when nothing was written: no matter
        }
        ::rmdir(m_parent.c_str());  // not empty only if something else wrote there: leave it
        ::rmdir(m_folder.c_str());
    }
    const std::string& File() const { return m_file; }

private:
    std::string m_folder, m_parent, m_file;
};

const std::string& SettingsFile() {
    static const PrivateSettings settings;
    return settings.File();
}

std::string Bytes(const Data::MemoryWriter& block) {
    return std::string(reinterpret_cast<const char*>(block.Data()), block.Length());
}

bool Same(const MainSettings& a, const MainSettings& b) {
    return a.passes == b.passes && a.leftType == b.leftType &&
           a.useRightWindow == b.useRightWindow && a.leftWidth == b.leftWidth &&
           a.showAdvertisement == b.showAdvertisement && a.desktopShortcut == b.desktopShortcut &&
           a.contextMenu == b.contextMenu && a.zoomed == b.zoomed &&
           a.windowRect.left == b.windowRect.left && a.windowRect.top == b.windowRect.top &&
           a.windowRect.right == b.windowRect.right && a.windowRect.bottom == b.windowRect.bottom &&
           a.autoTargets == b.autoTargets;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& file = SettingsFile();
    {
        // A new file each time: the settings cache must see a changed file, not guess.
        ::unlink(file.c_str());
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    Data::MemoryWriter block;
    const MainSettings loaded = LoadSettings(block);
    Require(loaded.passes >= 0 && loaded.passes <= kMaxStoredPasses,
            "a pass count from the file is one a run can use");
    Require(static_cast<std::int32_t>(loaded.leftType) >= 0 &&
                static_cast<std::int32_t>(loaded.leftType) <= 2,
            "the left pane's kind is one the window has");
    Require(block.Length() <= kMaxBinarySetting, "the pane-state block fits its buffer");

    // What was read, written back, reads as the same settings and the same block. Writing
    // takes a store access per value, so it is tried only when the file changed something.
    if (Same(loaded, MainSettings()) && block.Length() == 0) {
        return 0;
    }
    SaveSettings(loaded, block);
    Data::MemoryWriter blockAgain;
    const MainSettings again = LoadSettings(blockAgain);
    Require(Same(again, loaded), "settings read from the file survive writing and reading");
    Require(Bytes(blockAgain) == Bytes(block), "the pane-state block survives byte for byte");
    return 0;
}
