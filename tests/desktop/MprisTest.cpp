// MPRIS and desktop notices on a private session bus of the test's own:
// what a client (another connection, playerctl) sees and can do.
#include "desktop/DesktopNotifier.h"
#include "desktop/MprisService.h"
#include "support/FakePlayer.h"
#include "support/SessionBus.h"
#include "support/Wait.h"

#include <QDBusArgument>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

#include <map>

namespace varnelo {
namespace {

// Receives PropertiesChanged (QtDBus connects by slot signature only).
class ChangeListener : public QObject {
    Q_OBJECT
public:
    std::vector<QVariantMap> changes;
public Q_SLOTS:
    void changed(const QString &interface, const QVariantMap &properties, const QStringList &) {
        if (interface == QLatin1String("org.mpris.MediaPlayer2.Player"))
            changes.push_back(properties);
    }
};

QVariant property(QDBusConnection &client, const QString &interface, const QString &name) {
    QDBusMessage get = QDBusMessage::createMethodCall(
        QString::fromLatin1(MprisService::ServiceName), QString::fromLatin1(MprisService::ObjectPath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << interface << name;
    const QDBusReply<QDBusVariant> reply = client.call(get, QDBus::BlockWithGui);
    return reply.isValid() ? reply.value().variant() : QVariant();
}

QVariantMap demarshalled(const QVariant &v) {
    if (v.canConvert<QDBusArgument>()) {
        QVariantMap map;
        v.value<QDBusArgument>() >> map;
        return map;
    }
    return v.toMap();
}

// playerctl against the private bus; its output, trimmed.
QString playerctl(const test::SessionBus &bus, const QStringList &args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("playerctl"), QStringList{QStringLiteral("-p"), QStringLiteral("varnelo")} + args);
    // The service answers from this thread's event loop while playerctl waits.
    test::waitUntil([&p] { return p.state() == QProcess::NotRunning; }, 20000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

class Mpris : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus.running()) << "dbus-daemon did not start";
        status.playback = MediaStatus::Playback::Playing;
        status.track = 7;
        status.title = QStringLiteral("Night Drive");
        status.artists = {QStringLiteral("The Testers")};
        status.album = QStringLiteral("Radio Test");
        status.lengthUs = 180'000'000;
        status.volume = 0.8;
        status.canPause = status.canPlay = status.canGoNext = true;
        MediaCommands commands;
        const auto count = [this](const char *name) { return [this, name] { ++called[name]; }; };
        commands.play = count("Play");
        commands.pause = count("Pause");
        commands.playPause = count("PlayPause");
        commands.stop = count("Stop");
        commands.next = count("Next");
        commands.previous = count("Previous");
        commands.raise = count("Raise");
        commands.setVolume = [this](double v) { volumeSet = v; };
        service = std::make_unique<MprisService>([this] { return status; }, commands, bus.bus());
        ASSERT_TRUE(service->registered());
    }

    test::SessionBus bus;
    MediaStatus status;
    std::map<std::string, int> called;
    double volumeSet = -1;
    std::unique_ptr<MprisService> service;
};

TEST_F(Mpris, ClientsReadWhatPlaysAndDriveTheCommands) {
    QDBusConnection client = bus.connect(QStringLiteral("client"));
    const QString player = QStringLiteral("org.mpris.MediaPlayer2.Player");
    EXPECT_EQ(property(client, player, QStringLiteral("PlaybackStatus")).toString(),
              QStringLiteral("Playing"));
    const QVariantMap meta = demarshalled(property(client, player, QStringLiteral("Metadata")));
    EXPECT_EQ(meta.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("Night Drive"));
    EXPECT_EQ(meta.value(QStringLiteral("xesam:artist")).toStringList(),
              QStringList{QStringLiteral("The Testers")});
    EXPECT_EQ(meta.value(QStringLiteral("xesam:album")).toString(), QStringLiteral("Radio Test"));
    EXPECT_EQ(meta.value(QStringLiteral("mpris:length")).toLongLong(), 180'000'000);
    EXPECT_EQ(meta.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path(),
              QStringLiteral("/org/varnelo/track/7"));
    EXPECT_DOUBLE_EQ(property(client, player, QStringLiteral("Volume")).toDouble(), 0.8);
    EXPECT_EQ(
        property(client, QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("Identity")).toString(),
        QStringLiteral("Varnelo"));
    EXPECT_EQ(
        property(client, QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("DesktopEntry")).toString(),
        QStringLiteral("varnelo"));

    for (const char *method : {"Play", "Pause", "PlayPause", "Stop", "Next", "Previous"}) {
        QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(MprisService::ServiceName),
                                                           QString::fromLatin1(MprisService::ObjectPath),
                                                           player, QString::fromLatin1(method));
        EXPECT_EQ(client.call(call, QDBus::BlockWithGui).type(), QDBusMessage::ReplyMessage) << method;
        EXPECT_EQ(called[method], 1) << method;
    }
    QDBusMessage set = QDBusMessage::createMethodCall(
        QString::fromLatin1(MprisService::ServiceName), QString::fromLatin1(MprisService::ObjectPath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
    set << player << QStringLiteral("Volume") << QVariant::fromValue(QDBusVariant(0.25));
    EXPECT_EQ(client.call(set, QDBus::BlockWithGui).type(), QDBusMessage::ReplyMessage);
    EXPECT_DOUBLE_EQ(volumeSet, 0.25);

    // Stopped: nothing is loaded.
    status.playback = MediaStatus::Playback::Stopped;
    service->refresh();
    const QVariantMap stopped = demarshalled(property(client, player, QStringLiteral("Metadata")));
    EXPECT_EQ(stopped.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path(),
              QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"));
    EXPECT_FALSE(stopped.contains(QStringLiteral("xesam:title")));
}

TEST_F(Mpris, ChangesAreAnnouncedOnceAndOnlyWhatChanged) {
    QDBusConnection client = bus.connect(QStringLiteral("listener"));
    ChangeListener listener;
    ASSERT_TRUE(client.connect(
        QString::fromLatin1(MprisService::ServiceName), QString::fromLatin1(MprisService::ObjectPath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"), &listener,
        SLOT(changed(QString, QVariantMap, QStringList))));
    status.title = QStringLiteral("Morning Drive");
    status.track = 8;
    status.playback = MediaStatus::Playback::Paused;
    status.canPause = false;
    service->refresh();
    ASSERT_TRUE(test::waitUntil([&] { return !listener.changes.empty(); }));
    const QVariantMap changed = listener.changes.front();
    EXPECT_EQ(changed.value(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Paused"));
    EXPECT_EQ(demarshalled(changed.value(QStringLiteral("Metadata")))
                  .value(QStringLiteral("xesam:title"))
                  .toString(),
              QStringLiteral("Morning Drive"));
    EXPECT_FALSE(changed.value(QStringLiteral("CanPause"), true).toBool());
    EXPECT_FALSE(changed.contains(QStringLiteral("Volume")));

    // A position that moved is not a change to announce; a volume is.
    status.positionUs += 1'000'000;
    service->refresh();
    status.volume = 0.5;
    service->refresh();
    // Signals come in order: had the position been announced, it would be next.
    ASSERT_TRUE(test::waitUntil([&] { return listener.changes.size() >= 2; }));
    EXPECT_EQ(listener.changes[1].keys(), QStringList{QStringLiteral("Volume")});
}

TEST_F(Mpris, PlayerctlShowsTheStatusAndTitleAndPauses) {
    EXPECT_EQ(playerctl(bus, {QStringLiteral("status")}), QStringLiteral("Playing"));
    EXPECT_EQ(playerctl(bus, {QStringLiteral("metadata"), QStringLiteral("title")}),
              QStringLiteral("Night Drive"));
    EXPECT_EQ(playerctl(bus, {QStringLiteral("metadata"), QStringLiteral("artist")}),
              QStringLiteral("The Testers"));
    playerctl(bus, {QStringLiteral("pause")});
    EXPECT_EQ(called["Pause"], 1);
}

class Notices : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus.running());
        ASSERT_TRUE(server.serve(bus.connect(QStringLiteral("notification-server"))));
    }
    test::SessionBus bus;
    test::FakeNotificationServer server;
};

TEST_F(Notices, TitlesReplaceEachOtherAndEndsAreSaidWithTheirKind) {
    DesktopNotifier notifier(bus.bus());
    bool on = true;
    notifier.enabled = [&on] { return on; };
    // The second title waits for the answer to the first: it carries the id to replace.
    notifier.notifyTitle(QStringLiteral("The Testers - <Night> Drive"), QStringLiteral("Radio & Test"));
    notifier.notifyTitle(QStringLiteral("Second"), QStringLiteral("Radio & Test"));
    notifier.notifyFinished(FinishedKind::Conversion, QStringLiteral("/music/N_song.mp3"));
    notifier.notifyFinished(FinishedKind::Rip, QStringLiteral("no disc"), false);
    notifier.notifyFinished(FinishedKind::Recording, QStringLiteral("/music/show.mp3"));
    on = false;
    notifier.notifyFinished(FinishedKind::Conversion, QStringLiteral("not sent"));
    on = true;
    notifier.notifyFinished(FinishedKind::Conversion, QStringLiteral("last"));
    // Notices of ends do not wait: the second title may come after them.
    const auto find = [this](const QString &summary) -> const test::FakeNotificationServer::Notice * {
        for (const auto &n : server.notices)
            if (n.summary == summary)
                return &n;
        return nullptr;
    };
    ASSERT_TRUE(
        test::waitUntil([&] { return find(QStringLiteral("Second")) && server.notices.size() >= 6; }));
    EXPECT_EQ(server.notices.size(), 6u);
    EXPECT_FALSE(std::any_of(server.notices.begin(), server.notices.end(),
                             [](const auto &n) { return n.body == QLatin1String("not sent"); }));

    const auto *first = find(QStringLiteral("The Testers - <Night> Drive"));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->app, QStringLiteral("Varnelo"));
    EXPECT_EQ(first->icon, QStringLiteral("varnelo"));
    // Bodies may be read as markup: the station's name is kept as text.
    EXPECT_EQ(first->body, QStringLiteral("Radio &amp; Test"));
    EXPECT_EQ(first->replaces, 0u);
    EXPECT_EQ(find(QStringLiteral("Second"))->replaces, first->id);
    const std::vector<std::pair<QString, QString>> ends = {
        {QStringLiteral("Rip failed"), QStringLiteral("no disc")},
        {QStringLiteral("Recording finished"), QStringLiteral("/music/show.mp3")}};
    for (const auto &[summary, body] : ends) {
        const auto *n = find(summary);
        ASSERT_NE(n, nullptr) << summary.toStdString();
        EXPECT_EQ(n->body, body);
        EXPECT_EQ(n->replaces, 0u);
    }
    EXPECT_EQ(find(QStringLiteral("Conversion finished"))->body, QStringLiteral("/music/N_song.mp3"));
}

// The service bound to the players' coordinator: it follows each change as it
// is signalled (no timer, no event-loop turn), and a client's Play goes through
// the coordinator, which stops what played before.
TEST(MprisPlayback, FollowsTheCoordinatorAtOnceAndPlaysThroughIt) {
    test::SessionBus bus;
    ASSERT_TRUE(bus.running());
    test::FakePlayback p;
    p.coordinator.setShown([&p] { return &p.file; });
    p.file.now = {MediaKind::File, QStringLiteral("Song"), {}, {}, {}, QStringLiteral("/m/song.wav"), 5000};
    p.station.now = {MediaKind::Station,
                     QStringLiteral("Night Drive"),
                     QStringLiteral("The Testers"),
                     QStringLiteral("Radio X"),
                     QStringLiteral("Radio X"),
                     QStringLiteral("http://x/live"),
                     0};
    MprisService service([&p] { return MediaStatusOf(p.coordinator, 1); }, MediaCommandsFor(p.coordinator),
                         bus.bus());
    service.follow(p.coordinator);
    ASSERT_TRUE(service.registered());

    p.station.force(PlayState::Playing);
    EXPECT_EQ(service.status().playback, MediaStatus::Playback::Playing);
    EXPECT_EQ(service.status().artists, QStringList{QStringLiteral("The Testers")});
    EXPECT_EQ(service.status().url, QStringLiteral("http://x/live"));
    p.station.force(PlayState::Paused);
    EXPECT_EQ(service.status().playback, MediaStatus::Playback::Paused);
    p.station.force(PlayState::Connecting); // tuning in to another: nothing plays yet
    EXPECT_EQ(service.status().playback, MediaStatus::Playback::Stopped);

    QDBusConnection client = bus.connect(QStringLiteral("client"));
    QDBusMessage play = QDBusMessage::createMethodCall(
        QString::fromLatin1(MprisService::ServiceName), QString::fromLatin1(MprisService::ObjectPath),
        QStringLiteral("org.mpris.MediaPlayer2.Player"), QStringLiteral("Play"));
    EXPECT_EQ(client.call(play, QDBus::BlockWithGui).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(p.station.state(), PlayState::Stopped);
    EXPECT_EQ(p.file.state(), PlayState::Playing);
    EXPECT_EQ(service.status().title, QStringLiteral("Song"));
    EXPECT_EQ(service.status().url, QStringLiteral("file:///m/song.wav"));
    EXPECT_EQ(service.status().lengthUs, 5'000'000);
}

} // namespace
} // namespace varnelo

#include "MprisTest.moc"
