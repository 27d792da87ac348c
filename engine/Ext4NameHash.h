#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tolvane {

// The hash by which an ext4 folder places a name among its leaf blocks: the kernel's legacy,
// half-MD4 and TEA hashes (versions 0-2, and their unsigned-character twins 3-5), under the
// volume's seed. What matters is only which leaf takes a name, so only the major hash is given,
// as the folder's index compares it. False for a version this does not know.
bool Ext4NameHash(std::string_view name, std::uint32_t version,
                  const std::array<std::uint32_t, 4>& seed, std::uint32_t& hash);

}  // namespace tolvane
