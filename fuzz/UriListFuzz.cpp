// text/uri-list as file managers and browsers drop it.
#include "FuzzChecks.h"
#include "items/FileUriList.h"

using namespace tolvane;
using namespace tolvane::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> paths = LocalPathsOfUriList(AsText(data, size));
    std::string list;
    for (const std::string& path : paths) {
        Require(IsPlainAbsolute(path), "a URI list gives only plain absolute paths");
        Require(path.find('\0') == std::string::npos, "a URI list's path holds no zero byte");
        list += FileUri(path) + "\r\n";
    }
    // The list we would write for these paths reads back as exactly these paths.
    Require(LocalPathsOfUriList(list) == paths, "our own URI list reads back byte for byte");
    return 0;
}
