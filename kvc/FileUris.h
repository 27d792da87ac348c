#pragma once

#include <QByteArray>
#include <optional>

namespace tolvane::kvc {

// The local path a "file:" URI names, as raw bytes (percent escapes decoded byte for byte, so
// names that are not UTF-8 survive). Only an empty host or "localhost" is local; anything else
// (another host, another scheme, a path that is not absolute or holds a NUL) gives nothing.
std::optional<QByteArray> LocalPathOfUri(const QByteArray& uri);

}  // namespace tolvane::kvc
