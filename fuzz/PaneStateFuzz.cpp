// The pane-state record, which any program of the user can rewrite in the settings file.
#include "FuzzChecks.h"
#include "items/DataMemoryReader.h"
#include "items/DataMemoryWriter.h"
#include "items/FolderLister.h"
#include "items/PaneState.h"

using namespace tolvane;
using namespace tolvane::fuzz;

namespace {

PaneState Load(std::string_view bytes) {
    Data::MemoryReader reader(bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                              Data::MemoryReader::kBorrow);
    PaneState state;
    LoadPaneState(reader, state);
    return state;
}

std::string Save(const PaneState& state) {
    Data::MemoryWriter writer;
    SavePaneState(writer, state);
    return std::string(reinterpret_cast<const char*>(writer.Data()), writer.Length());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const PaneState loaded = Load(AsText(data, size));
    for (const std::string& folder : loaded.folder) {
        Require(!folder.empty() && folder.front() == '/',
                "a side's folder read from a record is absolute");
        Require(CanonicalFolderPath(folder) == folder,
                "a side's folder read from a record is canonical");
        Require(folder.size() <= kMaxFolderPathLength, "a side's folder fits the browser");
    }
    // What was read is written again, and that record reads back as the same state and
    // writes the same bytes.
    const std::string record = Save(loaded);
    const PaneState again = Load(record);
    // A side's folder too long to be written is kept as its longest ancestor that fits.
    for (std::size_t side = 0; side < 2; ++side) {
        Require(loaded.folder[side].starts_with(again.folder[side]),
                "a side's folder survives writing and reading, or its ancestor does");
    }
    Require(again.columnWidth == loaded.columnWidth &&
                again.lastFolderByDrive == loaded.lastFolderByDrive &&
                again.recentFolders == loaded.recentFolders,
            "a state read from a record survives writing and reading");
    Require(Save(again) == record, "a record that reads back writes the same bytes");
    return 0;
}
