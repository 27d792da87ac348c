#pragma once

#include <QList>
#include <QRect>

#include "app/MainSettings.h"

class QWidget;

namespace tolvane {

// Fits a stored window rectangle onto the screens' available areas: it stays on the screen
// it overlaps most (the first screen when it overlaps none, as after the screen it was on
// was unplugged), shrunk to that screen's area if larger and moved fully inside it. Without
// any screen it is returned unchanged.
QRect FitToScreens(const QRect& stored, const QList<QRect>& availableAreas);

QRect ToQRect(const WindowRect& rect);
WindowRect ToWindowRect(const QRect& rect);

// Puts a window at its stored rectangle, fitted to the screens. On Wayland, where a client
// cannot place itself, only the size is applied.
void RestorePlacement(QWidget& window, const WindowRect& stored);

// The rectangle to store for the window now: its geometry when shown normally, its normal
// geometry when maximized (if it was ever shown normally), else `last`.
WindowRect PlacementToStore(const QWidget& window, const WindowRect& last);

}  // namespace tolvane
