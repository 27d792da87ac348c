#include "panes/FileDataSource.h"

#include "items/DropFilesBlock.h"
#include "items/FileUriList.h"

namespace tolvane {
namespace {

constexpr char kUriListType[] = "text/uri-list";

}  // namespace

QMimeData* CreateFileDataSource(const std::vector<FileItem>& items) {
    auto* data = new QMimeData;
    data->setData(kDropFilesMimeType, QByteArray::fromStdString(BuildDropFilesBlock(items)));
    // Set as bytes: QUrl would turn a name that is not UTF-8 into other bytes.
    if (std::string list = BuildUriList(items); !list.empty()) {
        data->setData(kUriListType, QByteArray::fromStdString(list));
    }
    return data;
}

bool HasDropFilesBlock(const QMimeData* data) {
    return data != nullptr && data->hasFormat(kDropFilesMimeType);
}

bool HasUriList(const QMimeData* data) {
    return data != nullptr && data->hasFormat(kUriListType);
}

}  // namespace tolvane
