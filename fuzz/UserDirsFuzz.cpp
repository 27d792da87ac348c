// user-dirs.dirs, which the user (or any of the user's programs) edits.
#include "FuzzChecks.h"
#include "platform/UserDirs.h"

using namespace tolvane;
using namespace tolvane::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = AsText(data, size);
    static const std::string kHome = "/home/me";
    for (const char* name : {"DOCUMENTS", "DESKTOP", "TEMPLATES", "DOWNLOAD"}) {
        const std::string folder = ParseUserDir(text, name, kHome);
        if (folder.empty()) {
            continue;
        }
        Require(folder.front() == '/' && folder.back() == '/',
                "a user folder is absolute and ends with a separator");
        Require(folder.find('\0') == std::string::npos,
                "a user folder holds no zero byte (it would name another folder)");
        // Neither form may climb out of the folder it names: "$HOME/../x" is not below home.
        Require(!HasDotComponent(folder), "a user folder has no \".\" or \"..\" component");
    }
    return 0;
}
