// Not a test by itself: RealDragTest runs it under a private X server with the xcb platform.
// It shows a side list with two files and an erase list, and has xdotool press, move and
// release the real pointer: first the two selected files from the side list onto the erase
// list, then both rows out of the erase list onto the side list. It prints what each drag did
// and ends with 0 when both did what they should. A guard timer ends it if the drag loop
// never returns.
#include <QApplication>
#include <QHBoxLayout>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "DriverProgram.h"
#include "LoadFolder.h"
#include "panes/PaneController.h"
#include "views/DragListWidget.h"
#include "views/DragTreeWidget.h"

namespace tolvane {
namespace {

constexpr int kGuardMs = 45000;

// Presses at `from`, moves well past the drag distance and on to `to`, and releases there;
// calls `done` a little after xdotool has ended.
void DragWithXdotool(QWidget* source, QPoint from, QWidget* target, QPoint to,
                     std::function<void()> done) {
    QStringList args;
    auto moveTo = [&args](QWidget* widget, QPoint local, const char* pause) {
        const QPoint global = widget->mapToGlobal(local);
        args << "mousemove" << QString::number(global.x()) << QString::number(global.y()) << "sleep"
             << pause;
    };
    moveTo(source, from, "0.4");
    args << QString("mousedown 1 sleep 0.3").split(' ');
    moveTo(source, from + QPoint(6, 6), "0.2");
    moveTo(source, from + QPoint(30, 20), "0.3");
    moveTo(target, to, "0.4");
    moveTo(target, to + QPoint(4, 4), "0.4");
    args << QString("mouseup 1").split(' ');
    test::Xdotool(args, std::move(done), 800);
}

int Run(const std::string& root) {
    const std::string folder = root + "/files/";
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "a.txt") << "a";
    std::ofstream(folder + "b.txt") << "b";

    QWidget window;
    auto* list = new DragListWidget(&window);
    auto* eraseList = new DragTreeWidget(&window);
    auto* layout = new QHBoxLayout(&window);
    layout->addWidget(list);
    layout->addWidget(eraseList);

    PaneController controller;
    test::LoadFolder(controller, folder);
    controller.SetListViews(list, eraseList, nullptr, false);
    controller.Start();
    list->addItems({"a.txt", "b.txt"});
    // What the main window routes: a drag from either list.
    QObject::connect(list, &DragListWidget::BeginDrag, [&] { controller.BeginListDrag(list); });
    QObject::connect(eraseList, &DragTreeWidget::BeginDrag,
                     [&] { controller.BeginListDrag(eraseList); });

    window.setGeometry(50, 50, 700, 400);
    window.show();
    window.activateWindow();

    auto dragOut = [&] {
        eraseList->selectAll();
        DragWithXdotool(
            eraseList->viewport(), eraseList->visualItemRect(eraseList->topLevelItem(0)).center(),
            list->viewport(), list->viewport()->rect().bottomRight() - QPoint(40, 40), [&] {
                const int left = eraseList->topLevelItemCount();
                std::printf("dragged out: %d rows left\n", left);
                QApplication::exit(left == 0 ? 0 : 1);
            });
    };
    QTimer::singleShot(1000, [&] {
        list->selectAll();
        list->setFocus();
        DragWithXdotool(list->viewport(), list->visualItemRect(list->item(0)).center(),
                        eraseList->viewport(), eraseList->viewport()->rect().center(), [&] {
                            QStringList names;
                            for (int row = 0; row < eraseList->topLevelItemCount(); ++row) {
                                names << eraseList->topLevelItem(row)->text(0);
                            }
                            std::printf("dragged in: %s\n", qPrintable(names.join(' ')));
                            if (names.join(' ') == "a.txt b.txt") {
                                dragOut();
                            } else {
                                QApplication::exit(1);
                            }
                        });
    });
    const int code = QApplication::exec();
    // The workers end on their own; their PanesClosed needs the event loop once more.
    QObject::connect(&controller, &PaneController::PanesClosed, [] { QApplication::exit(0); });
    QTimer::singleShot(10000, [] { QApplication::exit(0); });
    controller.Shutdown();
    QApplication::exec();
    return code;
}

}  // namespace
}  // namespace tolvane

int main(int argc, char** argv) {
    return tolvane::test::RunDriver(argc, argv, 1, "real_drag_app <folder>", tolvane::kGuardMs,
                                    [argv] { return tolvane::Run(argv[1]); });
}
