// Every test of this program runs with a QApplication on the offscreen platform, made after
// the shared main has pointed HOME and the XDG folders into a private temporary folder.
#include "QtTestEnvironment.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>
#include <memory>

namespace tolvane::test {
namespace {

class QtEnvironment : public testing::Environment {
public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        m_app = std::make_unique<QApplication>(m_argc, m_argv);
    }
    void TearDown() override { m_app.reset(); }

private:
    int m_argc = 1;
    char m_name[16] = "app_tests";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QApplication> m_app;
};

[[maybe_unused]] testing::Environment* const g_qt =
    testing::AddGlobalTestEnvironment(new QtEnvironment);

bool SetImmutable(const std::string& path, bool on) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return false;
    }
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

}  // namespace

BoxAnswerer::BoxAnswerer() {
    connect(&m_timer, &QTimer::timeout, this, &BoxAnswerer::Poll);
    m_timer.start(10);
}

BoxAnswerer::Action BoxAnswerer::Click(QMessageBox::StandardButton button) {
    return [button](QMessageBox* box) { box->button(button)->click(); };
}

void BoxAnswerer::Poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || box->property("answered").toBool()) {
        return;
    }
    box->setProperty("answered", true);
    SeenBox seen;
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.icon = box->icon();
    seen.buttons = box->standardButtons();
    seen.defaultButton =
        box->defaultButton() ? box->standardButton(box->defaultButton()) : QMessageBox::NoButton;
    m_seen.push_back(seen);
    if (m_script.empty()) {
        ++m_unexpected;
        Click(box->button(QMessageBox::No) ? QMessageBox::No : QMessageBox::Ok)(box);
        return;
    }
    Action action = std::move(m_script.front());
    m_script.pop_front();
    // Run outside this timer's slot: Qt does not fire a timer inside its own slot, so an
    // action that (wrongly) opens another box would otherwise leave it unanswered forever.
    QTimer::singleShot(0, box, [action, box] { action(box); });
}

ImmutableFiles::~ImmutableFiles() {
    for (const std::string& path : m_paths) {
        SetImmutable(path, false);
    }
}

bool ImmutableFiles::Add(const std::string& path) {
    if (!SetImmutable(path, true)) {
        return false;
    }
    m_paths.push_back(path);
    return true;
}

}  // namespace tolvane::test
