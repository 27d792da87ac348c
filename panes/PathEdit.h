#pragma once

#include <QString>

class QLineEdit;

namespace tolvane {

// Shows text in a path edit with its end in view (the folder's own name, not the start of a
// long path); nothing without an edit. GUI thread.
void SetPathText(QLineEdit* edit, const QString& text);

}  // namespace tolvane
