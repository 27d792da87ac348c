#pragma once

#include <QIcon>
#include <QMessageBox>
#include <QObject>
#include <QProgressBar>
#include <QSignalSpy>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <deque>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace tolvane::test {

// What a test saw of a message box before answering it.
struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// Runs the event loop until `done` holds; false after a minute (a hang, not a slow machine).
bool EventuallyOnLoop(const std::function<bool()>& done);
// Runs the event loop until the spy has seen its signal `count` times; false after a minute,
// or when it came more often.
bool Received(QSignalSpy& spy, int count = 1);

// Calls `action` from the event loop once the bar has first moved: a run visibly started.
void OnFirstProgress(QProgressBar& bar, std::function<void()> action);

// "\n<path>" for each path: the list a confirmation or failure box shows below its heading.
QString Lines(const std::vector<std::string>& paths);
// A failure list with the reasons (" - <why>" after each path; the engine words them) cut
// off, after checking that every line but a closing "..." has one.
QString WithoutReasons(const QString& text);

// Stands in for the desktop's opener: records each address instead of opening it, and
// answers `answer`.
struct UrlRecorder {
    bool answer = true;
    std::vector<QUrl> opened;

    std::function<bool(const QUrl&)> Function() {
        return [this](const QUrl& url) {
            opened.push_back(url);
            return answer;
        };
    }
};

// For the life of the object: these environment variables unset (a test may set them);
// their values are put back afterwards.
class ScopedEnvironment {
public:
    explicit ScopedEnvironment(std::initializer_list<const char*> names);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::vector<std::pair<const char*, std::optional<std::string>>> m_saved;
};

// For the life of the object: no icon theme anywhere, as on a desktop where none is
// installed. Qt's icon settings are put back afterwards.
class NoIconTheme {
public:
    NoIconTheme();
    ~NoIconTheme();
    NoIconTheme(const NoIconTheme&) = delete;
    NoIconTheme& operator=(const NoIconTheme&) = delete;

private:
    QStringList m_searchPaths;
    QStringList m_fallbackPaths;
    QString m_theme;
    QString m_fallbackTheme;
};

// True when the icon puts something on the screen at 16 pixels: a null icon, or a theme icon
// whose pictures are missing, draws nothing.
bool DrawsSomething(const QIcon& icon);

// Answers the message boxes of the code under test, as a user would: it watches for the
// active modal QMessageBox and hands each new one to the next scripted action. A box that
// comes with no action left is recorded as unexpected and answered No (or OK), so a faulty
// run ends instead of hanging.
class BoxAnswerer : public QObject {
    Q_OBJECT

public:
    using Action = std::function<void(QMessageBox*)>;

    BoxAnswerer();
    void Then(Action action) { m_script.push_back(std::move(action)); }
    void ThenClick(QMessageBox::StandardButton button);

    const std::vector<SeenBox>& Seen() const { return m_seen; }
    int Unexpected() const { return m_unexpected; }

private:
    void Poll();

    QTimer m_timer;
    std::deque<Action> m_script;
    std::vector<SeenBox> m_seen;
    int m_unexpected = 0;
};

}  // namespace tolvane::test
