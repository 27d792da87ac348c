// Drop targets on real controls: what they answer and take, from this program's drags and
// from the data other programs send.
#include "panes/FileDropTarget.h"

#include <gtest/gtest.h>

#include <QMimeData>
#include <QSignalSpy>
#include <QTreeWidget>
#include <memory>

#include "DropEvents.h"
#include "QtTestEnvironment.h"
#include "TempDir.h"
#include "items/DropFilesBlock.h"
#include "items/FileItem.h"
#include "panes/FileDataSource.h"

namespace tolvane {
namespace {

using Sources = FileDropTarget::Sources;

using test::DragAndDrop;
using Outcome = test::DropOutcome;

std::unique_ptr<QMimeData> Data(std::initializer_list<std::pair<const char*, QByteArray>> formats) {
    auto data = std::make_unique<QMimeData>();
    for (const auto& [type, bytes] : formats) {
        data->setData(type, bytes);
    }
    return data;
}

struct Fixture {
    test::TempDir temp;
    QTreeWidget control;
    const QMimeData* ownDrag = nullptr;
    bool accepting = true;
    FileDropTarget target{
        Qt::CopyAction, Sources::Any,
        FileDropTarget::Context{[this] { return accepting; }, [this] { return ownDrag; }}};
    Fixture() {
        control.resize(200, 200);
        target.Register(&control);
    }
    // A file URI of a name in the temporary folder, escaped by hand as file managers do.
    QByteArray Uri(const char* escapedName) const {
        return "file://" + QByteArray::fromStdString(temp.Path()) + "/" + escapedName;
    }
};

// Nothing that names no local file shows a drop effect, and refusing shows no box either.
TEST(FileDropTargetTest, DataWithoutLocalFilesIsRefusedSilently) {
    Fixture f;
    ASSERT_TRUE(test::WriteFile(f.temp / "a.txt", "x"));
    test::BoxAnswerer boxes;
    struct Case {
        const char* what;
        std::unique_ptr<QMimeData> data;
        Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
    };
    Case cases[] = {
        {"text only", Data({{"text/plain", "/etc/passwd"}})},
        {"a web address", Data({{"text/uri-list", "https://example.org/a.txt\r\n"}})},
        {"another machine's file", Data({{"text/uri-list", "file://server/srv/a.txt\r\n"}})},
        {"an empty list", Data({{"text/uri-list", ""}})},
        {"an empty block",
         Data({{kDropFilesMimeType, QByteArray::fromStdString(BuildDropFilesBlock({}))}})},
        {"a damaged block", Data({{kDropFilesMimeType, "short"}})},
        {"a move-only offer", Data({{"text/uri-list", f.Uri("a.txt")}}), Qt::MoveAction},
        {"a link-only offer", Data({{"text/uri-list", f.Uri("a.txt")}}), Qt::LinkAction},
    };
    for (Case& c : cases) {
        QSignalSpy files(&f.target, &FileDropTarget::FilesDropped);
        Outcome outcome = DragAndDrop(f.control, c.data.get(), c.offered);
        EXPECT_FALSE(outcome.entered) << c.what;
        EXPECT_FALSE(outcome.dropped) << c.what;
        EXPECT_EQ(files.count(), 0) << c.what;
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(boxes.Seen().empty());
}

// This program's own drag: the target's effect, none while it is the drag's own control;
// refused by a target for this program's drags when it comes from elsewhere; nothing at all
// during a run.
TEST(FileDropTargetTest, AnswersOwnDragsWithItsEffectAndOthersByItsSources) {
    Fixture f;
    ASSERT_TRUE(test::WriteFile(f.temp / "a.txt", "x"));
    FileItem item;
    item.folder = f.temp.Path() + "/";
    item.name = item.findData.name = "a.txt";
    std::unique_ptr<QMimeData> ours(CreateFileDataSource({item}));
    std::unique_ptr<QMimeData> empty(CreateFileDataSource({}));
    FileDropTarget browser(Qt::MoveAction, Sources::OwnDragsOnly,
                           FileDropTarget::Context{{}, [&f] { return f.ownDrag; }});
    QTreeWidget browserControl;
    browser.Register(&browserControl);

    f.ownDrag = ours.get();
    QSignalSpy own(&f.target, &FileDropTarget::OwnDragDropped);
    QSignalSpy files(&f.target, &FileDropTarget::FilesDropped);
    Outcome outcome = DragAndDrop(f.control, ours.get(), Qt::CopyAction);
    EXPECT_EQ(outcome.dropAction, Qt::CopyAction);
    EXPECT_EQ(own.count(), 1);
    EXPECT_EQ(files.count(), 0);
    EXPECT_TRUE(f.target.Dropped());
    ASSERT_EQ(f.target.DroppedItems().Size(), 1u);
    EXPECT_EQ(f.target.DroppedItems().Items()[0].FullPath(), f.temp / "a.txt");

    // The browser answers Move, which a drag that offers Copy only turns into Copy.
    EXPECT_EQ(DragAndDrop(browserControl, ours.get(), Qt::CopyAction).dropAction, Qt::CopyAction);
    // Rows dragged out of the erase list carry no names and are still taken.
    f.ownDrag = empty.get();
    EXPECT_TRUE(DragAndDrop(browserControl, empty.get(), Qt::CopyAction).dropped);
    f.target.SetDropEffect(Qt::IgnoreAction);
    EXPECT_FALSE(DragAndDrop(f.control, empty.get(), Qt::CopyAction).entered);

    // The same data from another program: not for the browser.
    f.ownDrag = nullptr;
    EXPECT_FALSE(DragAndDrop(browserControl, ours.get(), Qt::CopyAction).entered);
    f.target.SetDropEffect(Qt::CopyAction);
    EXPECT_TRUE(DragAndDrop(f.control, ours.get(), Qt::CopyAction).dropped);
    EXPECT_EQ(files.count(), 1);

    f.accepting = false;
    f.ownDrag = ours.get();
    EXPECT_FALSE(DragAndDrop(f.control, ours.get(), Qt::CopyAction).entered);
    EXPECT_EQ(own.count(), 1);

    f.accepting = true;
    f.target.Revoke();
    EXPECT_FALSE(f.control.viewport()->acceptDrops());
    EXPECT_FALSE(DragAndDrop(f.control, ours.get(), Qt::CopyAction).entered);
    EXPECT_EQ(own.count(), 1);
}

}  // namespace
}  // namespace tolvane
