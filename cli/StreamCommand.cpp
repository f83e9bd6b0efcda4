// varnelo-cli stream URL [--seconds N] [--silent]: connects as the station
// player's connect worker does, prints what it shows and plays the stream.
#include "cli/Commands.h"

#include "common/PlaybackCoordinator.h"
#include "common/TextRules.h"
#include "platform/sound/SoundOutput.h"
#include "platform/stream/StreamLibrary.h"
#include "radio/StreamTuner.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <csignal>

extern "C" {
#include <libavutil/log.h>
}

namespace varnelo::cli {
namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void onInterrupt(int) {
    interrupted = 1;
}

// Everything printed goes out at once, so a reader sees each line as it happens.
// What the server sent may hold control characters: they are printed escaped.
void printLine(QTextStream &stream, const QString &line) {
    stream << text::escapeControls(line) << '\n';
    stream.flush();
}

int streamCommand(const QStringList &args) {
    const QString command = QStringLiteral("stream");
    QCommandLineParser parser;
    const QCommandLineOption secondsOption(
        QStringLiteral("seconds"),
        QStringLiteral("Play for N seconds, then end (default: until interrupted)."), QStringLiteral("N"));
    const QCommandLineOption silentOption(QStringLiteral("silent"),
                                          QStringLiteral("Decode without a sound device."));
    parser.addOptions({secondsOption, silentOption});
    parser.addPositionalArgument(QStringLiteral("URL"), QStringLiteral("Stream or playlist address."));
    if (auto rc = parseArguments(parser, command, args))
        return *rc;
    const bool silent = parser.isSet(silentOption);
    int seconds = -1;
    if (parser.isSet(secondsOption)) {
        bool ok = false;
        seconds = parser.value(secondsOption).toInt(&ok);
        if (!ok || seconds < 0)
            return usageError(command, QStringLiteral("--seconds: '%1' is not a whole number of seconds")
                                           .arg(parser.value(secondsOption)));
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usageError(command, QStringLiteral("no stream address given"));
    if (positional.size() > 1)
        return usageError(command, QStringLiteral("unexpected argument '%1'").arg(positional[1]));
    const QString url = positional.first();

    // From here on an interrupt ends the command cleanly, while connecting too.
    // --seconds counts from here: a slow connect uses up the same time.
    QElapsedTimer started;
    started.start();
    const auto timeUp = [&] { return seconds >= 0 && started.elapsed() >= qint64(seconds) * 1000; };
    interrupted = 0;
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    // FFmpeg's notes about the stream would mix with the lines this command prints.
    av_log_set_level(AV_LOG_ERROR);
    auto output = SoundOutput::create(silent ? SoundOutput::Backend::Null : SoundOutput::Backend::System);
    if (!silent && output->fellBack())
        printLine(
            err(),
            QStringLiteral("no sound device could be opened: playing on %1").arg(output->backendName()));

    // The same coordinator the window plays through; the command follows its
    // signals and the tuner's notes.
    StreamLibrary library(*output);
    PlaybackCoordinator playback;
    StreamTuner tuner(library, url, [&timeUp] { return interrupted || timeUp(); });
    playback.add(tuner);
    auto *app = QCoreApplication::instance();
    bool failed = false;
    QString shownTitle;
    QObject::connect(&playback, &PlaybackCoordinator::stateChanged, app, [&](PlayState state) {
        if (state != PlayState::Playing || failed)
            return;
        const IcyStationInfo &station = tuner.station();
        shownTitle = playback.nowPlaying().title;
        printLine(out(), QStringLiteral("name: ") + station.name);
        printLine(out(), QStringLiteral("genre: ") + station.genre);
        printLine(out(), QStringLiteral("url: ") + station.url);
        printLine(out(), QStringLiteral("title: ") + shownTitle);
    });
    QObject::connect(&playback, &PlaybackCoordinator::nowPlayingChanged, app, [&] {
        const NowPlaying now = playback.nowPlaying();
        if (now.kind != MediaKind::Station || now.title == shownTitle)
            return;
        shownTitle = now.title;
        printLine(out(), QStringLiteral("title: ") + shownTitle);
    });
    QObject::connect(&tuner, &StreamTuner::status, app,
                     [](const QString &text) { printLine(err(), QStringLiteral("status: ") + text); });
    QObject::connect(&tuner, &StreamTuner::failed, app, [&](const QString &reason) {
        failed = true;
        if (tuner.connectError() == StreamError::Cancelled)
            printLine(err(),
                      interrupted
                          ? QStringLiteral("varnelo-cli stream: interrupted while connecting")
                          : QStringLiteral("varnelo-cli stream: no audio within %1 seconds").arg(seconds));
        else
            printLine(err(), QStringLiteral("varnelo-cli stream: ") + reason);
        app->quit();
    });
    const auto restoreSignals = [] {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
    };
    playback.playPause(tuner);
    if (failed) {
        restoreSignals();
        return ExitFailure;
    }

    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, app, [app] {
        if (interrupted)
            app->quit();
    });
    watch.start(50);
    if (seconds >= 0)
        QTimer::singleShot(std::max<qint64>(0, qint64(seconds) * 1000 - started.elapsed()), app,
                           &QCoreApplication::quit);
    if (!interrupted)
        QCoreApplication::exec();
    restoreSignals();
    // What the stream reported before it ended still goes out.
    QCoreApplication::sendPostedEvents(&tuner);
    playback.stop();
    return failed ? ExitFailure : ExitOk;
}

const CommandRegistration
    registration("stream", &streamCommand, "stream URL [--seconds N] [--silent]",
                 "Connect to a radio stream, print its station and titles and play it.");

} // namespace
} // namespace varnelo::cli
