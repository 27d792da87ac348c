// Every test of this program runs with a QApplication on the offscreen platform, made after
// the shared main has pointed HOME and the XDG folders into a private temporary folder.
#include "QtTestEnvironment.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QPushButton>
#include <cstdlib>
#include <memory>

#include "HostNotes.h"
#include "Waiting.h"

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

void Click(QMessageBox* box, QMessageBox::StandardButton button) {
    box->button(button)->click();
}

}  // namespace

bool EventuallyOnLoop(const std::function<bool()>& done) {
    return Eventually(done, [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); });
}

bool Received(QSignalSpy& spy, int count) {
    return EventuallyOnLoop([&] { return spy.count() >= count; }) && spy.count() == count;
}

void OnFirstProgress(QProgressBar& bar, std::function<void()> action) {
    auto fired = std::make_shared<bool>(false);
    QObject::connect(&bar, &QProgressBar::valueChanged, &bar, [fired, action](int value) {
        if (value > 0 && !*fired) {
            *fired = true;
            QTimer::singleShot(0, action);
        }
    });
}

ScopedEnvironment::ScopedEnvironment(std::initializer_list<const char*> names) {
    for (const char* name : names) {
        const char* value = std::getenv(name);
        m_saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        ::unsetenv(name);
    }
}

ScopedEnvironment::~ScopedEnvironment() {
    for (const auto& [name, value] : m_saved) {
        value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
    }
}

NoIconTheme::NoIconTheme()
    : m_searchPaths(QIcon::themeSearchPaths()),
      m_fallbackPaths(QIcon::fallbackSearchPaths()),
      m_theme(QIcon::themeName()),
      m_fallbackTheme(QIcon::fallbackThemeName()) {
    QIcon::setThemeSearchPaths({});
    QIcon::setFallbackSearchPaths({});
    QIcon::setThemeName(QString());
    QIcon::setFallbackThemeName(QString());
}

NoIconTheme::~NoIconTheme() {
    QIcon::setThemeSearchPaths(m_searchPaths);
    QIcon::setFallbackSearchPaths(m_fallbackPaths);
    QIcon::setThemeName(m_theme);
    QIcon::setFallbackThemeName(m_fallbackTheme);
}

bool DrawsSomething(const QIcon& icon) {
    const QImage image = icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) != 0) {
                return true;
            }
        }
    }
    return false;
}

QString Lines(const std::vector<std::string>& paths) {
    QString text;
    for (const std::string& path : paths) {
        text += "\n" + QString::fromStdString(path);
    }
    return text;
}

QString WithoutReasons(const QString& text) {
    QStringList lines = text.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i] != "...") {
            const qsizetype reason = lines[i].indexOf(" - ");
            EXPECT_GT(reason, 0) << lines[i].toStdString();
            lines[i].truncate(reason);
        }
    }
    return lines.join('\n');
}

BoxAnswerer::BoxAnswerer() {
    connect(&m_timer, &QTimer::timeout, this, &BoxAnswerer::Poll);
    m_timer.start(10);
}

void BoxAnswerer::ThenClick(QMessageBox::StandardButton button) {
    Then([button](QMessageBox* box) { Click(box, button); });
}

void BoxAnswerer::Poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || box->property("answered").toBool()) {
        return;
    }
    box->setProperty("answered", true);
    const QString text = QString::fromStdString(WithoutHostNotes(box->text().toStdString()));
    if (text.trimmed().isEmpty()) {
        Click(box, QMessageBox::Ok);  // it would not come where the temporary folder needs no note
        return;
    }
    QPushButton* preset = box->defaultButton();
    m_seen.push_back({box->windowTitle(), text, box->icon(), box->standardButtons(),
                      preset ? box->standardButton(preset) : QMessageBox::NoButton});
    if (m_script.empty()) {
        ++m_unexpected;
        Click(box, box->button(QMessageBox::No) ? QMessageBox::No : QMessageBox::Ok);
        return;
    }
    Action action = std::move(m_script.front());
    m_script.pop_front();
    // Run outside this timer's slot: Qt does not fire a timer inside its own slot, so an
    // action that (wrongly) opens another box would otherwise leave it unanswered forever.
    QTimer::singleShot(0, box, [action, box] { action(box); });
}

}  // namespace tolvane::test
