#include "DriverProgram.h"

#include <QApplication>
#include <QProcess>
#include <QTimer>
#include <cstdio>

namespace tolvane::test {

void Xdotool(const QStringList& args, std::function<void()> then, int settleMs) {
    auto* process = new QProcess;
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    QObject::connect(process, &QProcess::finished, [process, args, then, settleMs](int code) {
        if (code != 0) {
            std::printf("xdotool %s ended with %d\n", qPrintable(args.join(' ')), code);
            std::fflush(stdout);
        }
        process->deleteLater();
        if (then) {
            QTimer::singleShot(settleMs, then);
        }
    });
    process->start("xdotool", args);
}

int RunDriver(int argc, char** argv, int arguments, const char* usage, int guardMs,
              const std::function<int()>& body) {
    if (argc <= arguments) {
        std::fprintf(stderr, "usage: %s\n", usage);
        return 2;
    }
    QApplication app(argc, argv);
    QTimer::singleShot(guardMs, [] {
        std::printf("the scenario did not end in time\n");
        std::fflush(stdout);
        QApplication::exit(3);
    });
    const int code = body();
    std::fflush(stdout);
    return code;
}

}  // namespace tolvane::test
