#include "views/DragListWidget.h"

namespace tolvane {

void DragListWidget::startDrag(Qt::DropActions /*supportedActions*/) {
    emit BeginDrag();
}

}  // namespace tolvane
