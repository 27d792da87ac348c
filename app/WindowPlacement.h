#pragma once

#include <QList>
#include <QRect>

#include "app/MainSettings.h"

class QWidget;

namespace tolvane {

// Fits a stored window rectangle onto the screens' available areas: it stays on the screen
// it overlaps most (the first screen when it overlaps none, as after the screen it was on
// was unplugged), shrunk to that screen's area if larger and moved fully inside it. Without
// any screen it is returned unchanged. The rectangle is the window's inside; `frameTop`
// pixels of title bar above it are kept on the screen too, so the window can always be
// grabbed and moved (also after a session at another scale factor).
QRect FitToScreens(const QRect& stored, const QList<QRect>& availableAreas, int frameTop = 0);
// The height of the title bar the window manager puts above a window, as far as it is known
// before the window is shown.
int TitleBarHeight(const QWidget& window);

QRect ToQRect(const WindowRect& rect);
WindowRect ToWindowRect(const QRect& rect);

// Puts a window at its stored rectangle, fitted to the screens. On Wayland, where a client
// cannot place itself, only the size is applied.
void RestorePlacement(QWidget& window, const WindowRect& stored);

// The rectangle to store for the window now: its geometry when shown normally, its normal
// geometry when maximized (if it was ever shown normally), else `last`.
WindowRect PlacementToStore(const QWidget& window, const WindowRect& last);

}  // namespace tolvane
