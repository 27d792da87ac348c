#include "app/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <algorithm>

namespace tolvane {
namespace {

qint64 OverlapArea(const QRect& a, const QRect& b) {
    QRect overlap = a.intersected(b);
    return overlap.isEmpty() ? 0 : qint64(overlap.width()) * overlap.height();
}

}  // namespace

QRect FitToScreens(const QRect& stored, const QList<QRect>& availableAreas, int frameTop) {
    if (availableAreas.isEmpty()) {
        return stored;
    }
    QRect area = availableAreas.front();
    qint64 best = 0;
    for (const QRect& candidate : availableAreas) {
        if (qint64 overlap = OverlapArea(stored, candidate); overlap > best) {
            best = overlap;
            area = candidate;
        }
    }
    frameTop = std::clamp(frameTop, 0, area.height() / 2);
    const QRect inside = area.adjusted(0, frameTop, 0, 0);
    QSize size = stored.size().boundedTo(inside.size()).expandedTo(QSize(1, 1));
    int x = std::clamp(stored.x(), inside.left(), inside.left() + inside.width() - size.width());
    int y = std::clamp(stored.y(), inside.top(), inside.top() + inside.height() - size.height());
    return QRect(QPoint(x, y), size);
}

QRect ToQRect(const WindowRect& rect) {
    // Stored values may be anything; a reversed rectangle becomes an empty one at its corner.
    return QRect(rect.left, rect.top, std::max(0, rect.right - rect.left),
                 std::max(0, rect.bottom - rect.top));
}

WindowRect ToWindowRect(const QRect& rect) {
    return {rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
}

int TitleBarHeight(const QWidget& window) {
    // Known once the window manager has framed the window; before, the style's guess.
    const int framed = window.geometry().top() - window.frameGeometry().top();
    return framed > 0 ? framed : window.style()->pixelMetric(QStyle::PM_TitleBarHeight);
}

void RestorePlacement(QWidget& window, const WindowRect& stored) {
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens()) {
        areas.push_back(screen->availableGeometry());
    }
    QRect fitted = FitToScreens(ToQRect(stored), areas, TitleBarHeight(window));
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        window.resize(fitted.size());
    } else {
        window.setGeometry(fitted);
    }
}

WindowRect PlacementToStore(const QWidget& window, const WindowRect& last) {
    if (window.isMinimized()) {
        return last;
    }
    if (window.isMaximized()) {
        QRect normal = window.normalGeometry();
        return normal.isValid() && !normal.isEmpty() ? ToWindowRect(normal) : last;
    }
    return ToWindowRect(window.geometry());
}

}  // namespace tolvane
