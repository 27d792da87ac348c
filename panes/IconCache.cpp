#include "panes/IconCache.h"

#include <QApplication>
#include <QMimeDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>
#include <array>

namespace tolvane {
namespace {

constexpr std::string_view kFolderIcon = "folder";

// The style icon that stands in for a theme icon the desktop does not have.
QStyle::StandardPixmap StandardPixmapFor(std::string_view iconName) {
    struct Fallback {
        std::string_view name;
        QStyle::StandardPixmap pixmap;
    };
    static constexpr std::array<Fallback, 7> kFallbacks{{
        {"drive-harddisk", QStyle::SP_DriveHDIcon},
        {"drive-removable-media", QStyle::SP_DriveFDIcon},
        {"folder-remote", QStyle::SP_DriveNetIcon},
        {"user-home", QStyle::SP_DirHomeIcon},
        {"user-trash", QStyle::SP_TrashIcon},
        {"user-desktop", QStyle::SP_DesktopIcon},
        {"inode-directory", QStyle::SP_DirIcon},
    }};
    for (const Fallback& fallback : kFallbacks) {
        if (fallback.name == iconName) {
            return fallback.pixmap;
        }
    }
    return iconName.starts_with(kFolderIcon) ? QStyle::SP_DirIcon : QStyle::SP_FileIcon;
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

// A small arrow on a light plate, as file managers mark links; drawn when the theme has no
// link emblem.
QPixmap DrawnLinkEmblem(int size) {
    QPixmap emblem(size, size);
    emblem.fill(Qt::transparent);
    QPainter painter(&emblem);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(60, 60, 60), 1));
    painter.setBrush(QColor(250, 250, 250));
    painter.drawRect(QRectF(0.5, 0.5, size - 1, size - 1));
    QPainterPath arrow;
    const qreal s = size;
    arrow.moveTo(0.25 * s, 0.8 * s);
    arrow.quadTo(0.25 * s, 0.3 * s, 0.7 * s, 0.3 * s);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(30, 30, 30), std::max<qreal>(1.0, s / 8)));
    painter.drawPath(arrow);
    painter.drawLine(QPointF(0.7 * s, 0.3 * s), QPointF(0.5 * s, 0.12 * s));
    painter.drawLine(QPointF(0.7 * s, 0.3 * s), QPointF(0.5 * s, 0.48 * s));
    return emblem;
}

QIcon WithLinkEmblem(const QIcon& base) {
    const QIcon themeEmblem = QIcon::fromTheme(QStringLiteral("emblem-symbolic-link"));
    QIcon icon;
    for (int size : {16, 22, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        base.paint(&painter, QRect(0, 0, size, size));
        const int emblemSize = std::max(8, size / 2);
        const QRect corner(0, size - emblemSize, emblemSize, emblemSize);
        if (!themeEmblem.isNull()) {
            themeEmblem.paint(&painter, corner);
        } else {
            painter.drawPixmap(corner, DrawnLinkEmblem(emblemSize));
        }
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
        found = m_linkIcons.emplace(iconName, WithLinkEmblem(Icon(iconName))).first;
    }
    return found->second;
}

QIcon IconCache::Make(const std::string& iconName) const {
    const QString name = QString::fromStdString(iconName);
    if (QIcon::hasThemeIcon(name)) {
        return QIcon::fromTheme(name);
    }
    const QString generic = GenericIconName(iconName);
    if (!generic.isEmpty() && QIcon::hasThemeIcon(generic)) {
        return QIcon::fromTheme(generic);
    }
    return QApplication::style()->standardIcon(StandardPixmapFor(iconName));
}

}  // namespace tolvane
