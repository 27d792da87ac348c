// Enters a folder of 100,000 entries in the browser list, in List and in Big Icons kind, and
// prints how long the first 64 rows take to show, how long the whole fill takes, the largest
// gap a 5 ms timer on the window's thread sees meanwhile, and how soon a move elsewhere in
// the middle of a fill shows the new folder. The peer, measured in the same run, is the bare
// sorted read of the same folder. Usage: BrowseBench [entries]
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "WindowThreadProbe.h"
#include "items/FolderLister.h"
#include "panes/PaneController.h"

namespace {

using bench::Clock;
using bench::GapProbe;

double Ms(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

// Runs the event loop until `done` holds; false after two minutes.
bool Until(const std::function<bool()>& done) {
    return bench::Until(done, std::chrono::minutes(2));
}

struct Figures {
    double first64 = 0;
    double whole = 0;
    double largestGap = 0;
    double switchAway = 0;
    int rowsWhenLeft = 0;
};

Figures Measure(bool bigIcons, const std::string& big, const std::string& small, int entries) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* box = new QComboBox;
    auto* edit = new QLineEdit;
    auto* list = new QListWidget;
    for (QWidget* control : std::initializer_list<QWidget*>{box, edit, list}) {
        layout->addWidget(control);
    }
    window.resize(800, 600);
    window.show();
    Figures figures;
    {
        tolvane::PaneController controller;
        controller.SetListViews(list, nullptr, nullptr, bigIcons);
        controller.AttachPathEdits(edit, nullptr);
        controller.AttachLocationBoxes(box, nullptr);
        controller.Start();
        controller.NavigateTo(0, small);
        Until([&] { return edit->text().toStdString() == small && list->count() == 2; });

        Clock::time_point firstRows{};
        QObject::connect(list->model(), &QAbstractItemModel::rowsInserted, [&] {
            if (firstRows == Clock::time_point{} && list->count() >= 64) {
                firstRows = Clock::now();
            }
        });
        GapProbe probe;
        probe.Begin();
        const auto start = Clock::now();
        controller.NavigateTo(0, big);
        Until([&] { return list->count() == entries + 1; });
        const auto end = Clock::now();
        probe.End();
        figures.largestGap = probe.LargestGapMs();
        figures.first64 = Ms(firstRows - start);
        figures.whole = Ms(end - start);

        // Leaving in the middle of a fill.
        controller.NavigateTo(0, small);
        Until([&] { return edit->text().toStdString() == small && list->count() == 2; });
        controller.NavigateTo(0, big);
        Until([&] { return list->count() >= entries / 10; });
        figures.rowsWhenLeft = list->count();
        const auto leave = Clock::now();
        controller.NavigateTo(0, small);
        Until([&] { return list->count() == 2 && edit->text().toStdString() == small; });
        figures.switchAway = Ms(Clock::now() - leave);

        controller.Shutdown();
        bool closed = false;
        QObject::connect(&controller, &tolvane::PaneController::PanesClosed,
                         [&] { closed = true; });
        Until([&] { return closed; });
    }
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    const int entries = argc > 1 ? std::atoi(argv[1]) : 100000;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const char* base = std::getenv("TMPDIR");
    std::string root = std::string(base && *base ? base : "/tmp") + "/browse-bench-XXXXXX";
    if (::mkdtemp(root.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string big = root + "/big/";
    const std::string small = root + "/small/";
    ::mkdir(big.c_str(), 0700);
    ::mkdir(small.c_str(), 0700);
    ::close(::open((small + "one.txt").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
    const char* extensions[] = {".txt", ".LOG", ".jpg", ".pdf", ".tar.gz", ""};
    for (int i = 0; i < entries; ++i) {
        const std::string name = big + (i % 3 == 0 ? "File-" : "file-") +
                                 std::to_string(i * 7919 % entries) + extensions[i % 6];
        ::close(::open(name.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
    }

    tolvane::FolderLister lister;
    lister.SetPath(big);
    const auto readStart = Clock::now();
    lister.Refresh();
    const double read = Ms(Clock::now() - readStart);
    std::printf("%d entries; peer: the bare sorted read takes %.1f ms\n", entries, read);
    std::printf("%-10s %12s %12s %14s %16s\n", "kind", "first 64 ms", "whole ms", "largest gap ms",
                "leave mid-fill ms");
    for (bool bigIcons : {false, true}) {
        const Figures f = Measure(bigIcons, big, small, entries);
        std::printf("%-10s %12.1f %12.1f %14.1f %10.1f (at %d rows)\n",
                    bigIcons ? "Big Icons" : "List", f.first64, f.whole, f.largestGap, f.switchAway,
                    f.rowsWhenLeft);
    }
    if (std::system(("rm -rf '" + root + "'").c_str()) != 0) {
        std::fprintf(stderr, "could not remove %s\n", root.c_str());
    }
    return 0;
}
