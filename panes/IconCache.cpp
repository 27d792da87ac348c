#include "panes/IconCache.h"

#include <QMimeDatabase>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

// Outside any namespace, as the resource initialiser is declared at global scope.
static void LoadFallbackIcons() {
    Q_INIT_RESOURCE(fallback_icons);
}

namespace tolvane {
namespace {

constexpr std::string_view kFolderIcon = "folder";
constexpr char kLinkEmblem[] = "emblem-symbolic-link";

// The icon the program ships for an icon name the theme does not have: a volume, the trash,
// a folder, or a file for everything else (MIME type icons).
QString ShippedIconFor(std::string_view iconName) {
    if (iconName.starts_with("drive-") || iconName == "folder-remote") {
        return QStringLiteral("volume");
    }
    if (iconName.starts_with("user-trash")) {
        return QStringLiteral("trash");
    }
    const bool folder = iconName.starts_with(kFolderIcon) || iconName == "inode-directory" ||
                        iconName == "user-home" || iconName == "user-desktop" ||
                        iconName == "document-open-recent";
    return folder ? QStringLiteral("folder") : QStringLiteral("file");
}

// One of the program's own icons (resources/fallback-icons), drawn from its SVG at the sizes
// the views ask for. Drawn here rather than left to Qt's SVG icon plug-in, which a desktop
// may lack: these icons must show whatever is installed.
QIcon ShippedIcon(const QString& name) {
    LoadFallbackIcons();
    QSvgRenderer renderer(QStringLiteral(":/fallback-icons/%1.svg").arg(name));
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// The generic icon of a MIME icon name's family ("text-x-generic" for "text-x-csrc"), which
// themes have far more often than the specific one; empty when there is none.
QString GenericIconName(const std::string& iconName) {
    const std::size_t dash = iconName.find('-');
    if (dash == std::string::npos) {
        return QString();
    }
    std::string mimeName = iconName;
    mimeName[dash] = '/';
    const QMimeType type = QMimeDatabase().mimeTypeForName(QString::fromStdString(mimeName));
    return type.isValid() ? type.genericIconName() : QString();
}

QIcon WithLinkEmblem(const QIcon& base, const QIcon& emblem) {
    QIcon icon;
    for (int size : {16, 22, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        base.paint(&painter, QRect(0, 0, size, size));
        const int emblemSize = std::max(8, size / 2);
        const QRect corner(0, size - emblemSize, emblemSize, emblemSize);
        emblem.paint(&painter, corner);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace

std::string IconNameForEntry(std::string_view name, bool isFolder) {
    if (name == "..") {
        return std::string();
    }
    if (isFolder) {
        return std::string(kFolderIcon);
    }
    // QMimeDatabase is thread-safe; MatchExtension looks at the name only, never the content.
    static const QMimeDatabase database;
    const QMimeType type = database.mimeTypeForFile(
        QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())),
        QMimeDatabase::MatchExtension);
    return type.iconName().toStdString();
}

std::string IconNameForLocation(const Location& location) {
    switch (location.kind) {
        case LocationKind::Volume:
            if (!location.slow) {
                return "drive-harddisk";
            }
            return location.network ? "folder-remote" : "drive-removable-media";
        case LocationKind::RootFolder:
            return "drive-harddisk";
        case LocationKind::Trash:
            return "user-trash";
        case LocationKind::Separator:
            return std::string();
        case LocationKind::Recent:
            return std::string(kFolderIcon);
        case LocationKind::SpecialFolder:
            break;
    }
    switch (location.specialKind) {
        case SpecialFolderKind::Documents:
            return "folder-documents";
        case SpecialFolderKind::Desktop:
            return "user-desktop";
        case SpecialFolderKind::Favorites:
            return "user-home";
        case SpecialFolderKind::Recent:
            return "document-open-recent";
        case SpecialFolderKind::Templates:
            return "folder-templates";
        case SpecialFolderKind::Temp:
        case SpecialFolderKind::AppData:
        case SpecialFolderKind::InternetCache:
            break;
    }
    return std::string(kFolderIcon);
}

QIcon IconCache::Icon(const std::string& iconName) {
    if (iconName.empty()) {
        return QIcon();
    }
    auto found = m_icons.find(iconName);
    if (found == m_icons.end()) {
        found = m_icons.emplace(iconName, Make(iconName)).first;
    }
    return found->second;
}

QIcon IconCache::LinkIcon(const std::string& iconName) {
    if (iconName.empty()) {
        return QIcon();
    }
    auto found = m_linkIcons.find(iconName);
    if (found == m_linkIcons.end()) {
        if (m_linkEmblem.isNull()) {
            m_linkEmblem = Make(kLinkEmblem);
        }
        found = m_linkIcons.emplace(iconName, WithLinkEmblem(Icon(iconName), m_linkEmblem)).first;
    }
    return found->second;
}

QIcon IconCache::Make(const std::string& iconName) {
    const QString name = QString::fromStdString(iconName);
    if (QIcon::hasThemeIcon(name)) {
        return QIcon::fromTheme(name);
    }
    const QString generic = GenericIconName(iconName);
    if (!generic.isEmpty() && QIcon::hasThemeIcon(generic)) {
        return QIcon::fromTheme(generic);
    }
    const QString shipped =
        iconName == kLinkEmblem ? QStringLiteral("link") : ShippedIconFor(iconName);
    auto found = m_shipped.find(shipped.toStdString());
    if (found == m_shipped.end()) {
        found = m_shipped.emplace(shipped.toStdString(), ShippedIcon(shipped)).first;
    }
    return found->second;
}

}  // namespace tolvane
