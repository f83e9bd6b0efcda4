// The soak bench's radio server: one mount that misbehaves in a different way
// on each connection, in a fixed cycle, and a playlist that names it.
//   varnelo-soak-server
// Prints "playlist: URL" and "mount: URL", serves until SIGINT/SIGTERM, then
// prints "connections: N" (connections made to the mount).
#include "support/IcyServer.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <climits>
#include <csignal>

using namespace varnelo::test;

namespace {
volatile std::sig_atomic_t quitRequested = 0;
extern "C" void onQuit(int) {
    quitRequested = 1;
}
} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    std::signal(SIGINT, onQuit);
    std::signal(SIGTERM, onQuit);
    QTextStream out(stdout);
    QTemporaryDir dir;
    const QByteArray audio = makeTone(Tone{ToneFormat::Mp3, 440, 20.0}, dir.path());
    if (audio.isEmpty()) {
        QTextStream(stderr) << "varnelo-soak-server: ffmpeg could not make the tone\n";
        return 1;
    }

    IcyMount mount;
    mount.audio = audio;
    mount.bytesPerSecond = 16000; // 128 kbit/s
    mount.metaint = 8192;
    mount.headers = {"icy-name:Soak \x1b[1mRadio\x07", "icy-genre:Noise\r", "icy-url:http://127.0.0.1/"};
    // A new title every 2 s, some of them the kind servers really send.
    for (int i = 0; i < 1000; ++i) {
        QString title = QStringLiteral("Soak %1 - Title %2").arg(i % 7).arg(i);
        if (i % 5 == 1)
            title += QStringLiteral(";with;semicolons");
        if (i % 5 == 2)
            title += QStringLiteral("\x1b[2J\x07");
        if (i % 5 == 3)
            title = QString(300, QLatin1Char('x'));
        mount.metadata.append(i % 5 == 4 ? QByteArray("StreamTitle='no end") : streamTitle(title));
    }
    mount.metadataIntervalMs = 2000;
    // Good connections end after 25 s of audio, so the cycle goes on.
    mount.dropAfterBytes = 25 * mount.bytesPerSecond;
    mount.dropConnections = INT_MAX;
    mount.cycle = {Hostile::None, Hostile::Garbage,           Hostile::Meta255NoTerminator,
                   Hostile::None, Hostile::EndlessHeaderLine, Hostile::EndlessHeaders,
                   Hostile::None, Hostile::StallAfterHeaders, Hostile::TrickleAudio,
                   Hostile::None, Hostile::Meta255Stall,      Hostile::TrickleHeaders};

    IcyServer server;
    server.addMount(QStringLiteral("/soak"), mount);
    if (!server.start()) {
        QTextStream(stderr) << "varnelo-soak-server: cannot listen on 127.0.0.1\n";
        return 1;
    }
    server.addFile(QStringLiteral("/soak.pls"), "audio/x-scpls",
                   "[playlist]\nFile1=" + server.url(QStringLiteral("/soak")).toUtf8() + "\nTitle1=Soak\n");
    out << "playlist: " << server.url(QStringLiteral("/soak.pls")) << '\n'
        << "mount: " << server.url(QStringLiteral("/soak")) << '\n';
    out.flush();

    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &app, [&app] {
        if (quitRequested)
            app.quit();
    });
    watch.start(100);
    app.exec();
    out << "connections: " << server.connections(QStringLiteral("/soak")) << '\n';
    return 0;
}
