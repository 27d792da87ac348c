#include "kvc/FileUris.h"

namespace tolvane::kvc {

std::optional<QByteArray> LocalPathOfUri(const QByteArray& uri) {
    static const QByteArray kScheme = "file://";
    if (!uri.startsWith(kScheme)) {
        return std::nullopt;
    }
    const QByteArray rest = uri.mid(kScheme.size());
    const qsizetype slash = rest.indexOf('/');
    if (slash < 0) {
        return std::nullopt;
    }
    const QByteArray host = rest.left(slash);
    if (!host.isEmpty() && host != "localhost") {
        return std::nullopt;
    }
    QByteArray path = rest.mid(slash);
    if (path.contains('?') || path.contains('#')) {
        return std::nullopt;  // a query or fragment: not a plain file URI
    }
    path = QByteArray::fromPercentEncoding(path);
    if (path.contains('\0')) {
        return std::nullopt;
    }
    return path;
}

}  // namespace tolvane::kvc
