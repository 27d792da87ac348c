#pragma once

#include <QString>

#include "platform/DesktopOpener.h"

class QWidget;

namespace tolvane {

// The manual bn.html: next to the program (a build tree), else in the installed documentation
// folder relative to it (<prefix>/share/doc/tolvane/ for <prefix>/bin/tolvane). Never the
// current folder, where any file of that name could be waiting. Empty when neither exists.
QString FindHelpFile(const QString& programPath);

// The Help menu's "Instruction..." (F1): opens the manual through `open`; says so in a box
// when it is missing or cannot be opened. Returns whether it was opened. GUI thread only.
bool OpenHelp(QWidget* parent, const QString& programPath, const OpenUrlFunction& open);

// The Help menu's "Home Page...": the vendor's home page through `open`.
bool OpenHomePage(const OpenUrlFunction& open);

}  // namespace tolvane
