// The desktop notification as the desktop receives it: a stand-in for the notification
// service on a private bus that the test starts (a dbus-daemon of its own, which activates
// no services), and the quiet skip where there is no bus.
#include "platform/DesktopNotifier.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QObject>
#include <QProcess>
#include <QStandardPaths>
#include <QVariantMap>
#include <vector>

#include "QtTestEnvironment.h"
#include "TempDir.h"

namespace tolvane {
namespace {

// What a notification service is asked: the arguments of each Notify call.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Call {
        QString app;
        uint replaces = 0;
        QString icon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        int timeout = 0;
    };
    std::vector<Call> calls;

public slots:
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints,
                int timeout) {
        calls.push_back({app, replaces, icon, summary, body, actions, hints, timeout});
        return static_cast<uint>(calls.size());
    }
};

// A bus daemon of the test's own, listening in a temporary folder; it knows no services to
// start, so nothing but the test's own connections is ever on it.
class PrivateBus {
public:
    PrivateBus() {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty()) {
            return;
        }
        const std::string config = m_dir / "bus.conf";
        EXPECT_TRUE(test::WriteFile(
            config,
            "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
            " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
            "<busconfig><type>session</type><listen>unix:path=" +
                (m_dir / "socket") +
                "</listen><policy context=\"default\"><allow send_destination=\"*\"/>"
                "<allow receive_sender=\"*\"/>"
                "<allow own=\"*\"/></policy></busconfig>\n"));
        m_daemon.start(daemon, {"--config-file=" + QString::fromStdString(config), "--nofork",
                                "--print-address"});
        if (m_daemon.waitForStarted() && m_daemon.waitForReadyRead(10000)) {
            m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        }
    }
    ~PrivateBus() {
        for (const QString& name : m_names) {
            QDBusConnection::disconnectFromBus(name);
        }
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.kill();
            m_daemon.waitForFinished();
        }
    }
    bool Running() const { return !m_address.isEmpty(); }
    QDBusConnection Connect(const QString& name) {
        m_names.push_back(name);
        return QDBusConnection::connectToBus(m_address, name);
    }

private:
    test::TempDir m_dir;
    QProcess m_daemon;
    QString m_address;
    QStringList m_names;
};

// The request reaches the service with the program's name, icon and launcher, the summary as
// it stands and the body escaped for services that read markup; asked on a bus where no service
// is yet, it is dropped without a fuss, and the service that comes later gets only its own.
TEST(DesktopNotifierTest, TheServiceGetsTheWordsAndNoServiceIsNoFault) {
    PrivateBus bus;
    if (!bus.Running()) {
        GTEST_SKIP() << "dbus-daemon is missing or did not start";
    }
    QDBusConnection client = bus.Connect(QStringLiteral("client"));
    ASSERT_TRUE(client.isConnected());
    EXPECT_TRUE(NotifyOverBus(client, QStringLiteral("Nobody listens"), QString()));

    QDBusConnection service = bus.Connect(QStringLiteral("service"));
    FakeNotifications fake;
    ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &fake,
                                       QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.Notifications")));
    ASSERT_TRUE(test::EventuallyOnLoop([&] {
        return client.interface()->isServiceRegistered(
            QStringLiteral("org.freedesktop.Notifications"));
    }));

    ASSERT_TRUE(NotifyOverBus(client, QStringLiteral("Following files can't be erased:"),
                              QStringLiteral("/home/me/<b>x</b> & y - Permission denied")));
    ASSERT_TRUE(test::EventuallyOnLoop([&] { return !fake.calls.empty(); }));
    ASSERT_EQ(fake.calls.size(), 1u);
    const FakeNotifications::Call& call = fake.calls[0];
    EXPECT_EQ(call.app, "Brevorn");
    EXPECT_EQ(call.replaces, 0u);
    EXPECT_EQ(call.icon, "tolvane");
    EXPECT_EQ(call.summary, "Following files can't be erased:");
    EXPECT_EQ(call.body, "/home/me/&lt;b&gt;x&lt;/b&gt; &amp; y - Permission denied");
    EXPECT_TRUE(call.actions.isEmpty());
    EXPECT_EQ(call.hints.value(QStringLiteral("desktop-entry")).toString(), "tolvane");
    EXPECT_EQ(call.timeout, -1);
}

// Without a session bus nothing is sent and no bus is started for it: the address is unset
// and the runtime folder holds no bus socket. A connection that failed sends nothing either.
TEST(DesktopNotifierTest, WithoutABusNothingIsSentOrStarted) {
    test::TempDir runtime;
    {
        test::ScopedEnvironment environment({"DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"});
        qputenv("XDG_RUNTIME_DIR", runtime.Path().c_str());
        EXPECT_FALSE(NotifyDesktop(QStringLiteral("Data successfully erased"), QString()));
    }

    const QDBusConnection nowhere = QDBusConnection::connectToBus(
        "unix:path=" + QString::fromStdString(runtime / "no-socket"), QStringLiteral("nowhere"));
    EXPECT_FALSE(nowhere.isConnected());
    EXPECT_FALSE(NotifyOverBus(nowhere, QStringLiteral("Data successfully erased"), QString()));
    QDBusConnection::disconnectFromBus(QStringLiteral("nowhere"));
}

}  // namespace
}  // namespace tolvane

#include "DesktopNotifierTest.moc"
