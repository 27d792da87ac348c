#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tolvane {

// The folders a browser side has shown, for Back and Forward (Alt+Left, Alt+Right). A folder
// shown again right after itself (a refresh) is no new step; a new folder after going back
// drops the forward steps, as in a file manager. At most kLimit steps are kept.
class FolderHistory {
public:
    static constexpr std::size_t kLimit = 100;

    // The side now shows `folder`.
    void Visit(const std::string& folder);
    // The folder to go back or forward to, and the history moves there; nothing at either end.
    std::optional<std::string> Back();
    std::optional<std::string> Forward();

private:
    std::vector<std::string> m_folders;
    std::size_t m_position = 0;  // in m_folders, when not empty
};

}  // namespace tolvane
