#include "panes/PathEdit.h"

#include <QLineEdit>

namespace tolvane {

void SetPathText(QLineEdit* edit, const QString& text) {
    if (edit == nullptr) {
        return;
    }
    edit->setText(text);
    edit->setCursorPosition(static_cast<int>(text.size()));
}

}  // namespace tolvane
