#pragma once

#include <QMimeData>
#include <vector>

#include "items/FileItem.h"

namespace tolvane {

// The data of a drag of items: the DROPFILES block under this program's own type
// (kDropFilesMimeType), which also carries drive rows as drive specs, and the same items as
// text/uri-list for file managers, whose list never holds a drive row. text/uri-list is
// left out when no item has a path to offer. The caller owns the result (a drag takes it
// over).
QMimeData* CreateFileDataSource(const std::vector<FileItem>& items);

// Whether data comes with the DROPFILES block, and with text/uri-list.
bool HasDropFilesBlock(const QMimeData* data);
bool HasUriList(const QMimeData* data);

}  // namespace tolvane
