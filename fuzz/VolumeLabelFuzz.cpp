// Volume labels, read from the names of the links in /dev/disk/by-label, where udev writes
// unsafe bytes as "\xHH". Anyone who formats a stick chooses the label.
#include "FuzzChecks.h"
#include "platform/UserDirs.h"

using namespace tolvane;
using namespace tolvane::fuzz;

namespace {

// How udev names the link: bytes outside a small safe set as "\xHH", lowercase.
std::string UdevName(std::string_view label) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string name;
    for (char c : label) {
        const auto byte = static_cast<unsigned char>(c);
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') ||
                          std::string_view("#+-.:=@_").find(c) != std::string_view::npos;
        if (safe) {
            name.push_back(c);
        } else {
            name += "\\x";
            name.push_back(kDigits[byte >> 4]);
            name.push_back(kDigits[byte & 0xf]);
        }
    }
    return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view name = AsText(data, size);
    const std::string label = DecodeUdevLabel(name);
    Require(label.size() <= name.size(), "decoding never lengthens a name");
    // A file name holds no zero byte, and no escape may make one.
    if (name.find('\0') == std::string_view::npos) {
        Require(label.find('\0') == std::string::npos, "a label holds no zero byte");
        Require(DecodeUdevLabel(UdevName(name)) == name, "a label reads back from its link name");
    }
    return 0;
}
