// Folder paths typed into the browser or read back from a record, and the names of a
// listing the browser steps into.
#include "FuzzChecks.h"
#include "items/FolderLister.h"

using namespace tolvane;
using namespace tolvane::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = AsText(data, size);
    const std::size_t cut = text.find('\0');
    const std::string_view typed = text.substr(0, cut);
    const std::string path = CanonicalFolderPath(typed);
    if (!path.empty()) {
        Require(path.back() == '/', "a canonical folder ends with a separator");
        Require(!HasDotComponent(path), "a canonical folder has no \".\" or \"..\" component");
        Require(path.find("//") == std::string::npos, "a canonical folder has no empty component");
    }
    Require(CanonicalFolderPath(path) == path, "a canonical folder is its own canonical form");

    // A name of a listing (no separator in it) steps one folder down, below where it was.
    if (cut == std::string_view::npos || path.empty()) {
        return 0;
    }
    const std::string_view name = text.substr(cut + 1);
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos) {
        return 0;
    }
    FolderLister lister;
    Require(lister.SetPath(path) || path.size() > kMaxFolderPathLength, "a short path is taken");
    const std::string before = lister.Path();
    if (lister.Step(name)) {
        Require(lister.Path() == before + std::string(name) + "/",
                "a step into a name goes just below the folder");
    } else {
        Require(lister.Path() == before, "a refused step leaves the folder");
    }
    return 0;
}
