// varnelo-cli play FILE... [--seconds N] [--silent]: plays local files through
// the program's sound output, fed exactly as the local player feeds it.
#include "cli/Commands.h"

#include "common/PlaybackCoordinator.h"
#include "library/FileListPlayer.h"
#include "platform/sound/SoundOutput.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>
#include <csignal>

namespace varnelo::cli {
namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void onPlayInterrupt(int) {
    interrupted = 1;
}

int playCommand(const QStringList &args) {
    const QString command = QStringLiteral("play");
    QCommandLineParser parser;
    const QCommandLineOption secondsOption(QStringLiteral("seconds"),
                                           QStringLiteral("End after N seconds (default: at the end)."),
                                           QStringLiteral("N"));
    const QCommandLineOption silentOption(QStringLiteral("silent"),
                                          QStringLiteral("Decode without a sound device."));
    parser.addOptions({secondsOption, silentOption});
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Audio files, played in order."),
                                 QStringLiteral("FILE..."));
    if (auto rc = parseArguments(parser, command, args))
        return *rc;
    int seconds = -1;
    if (parser.isSet(secondsOption)) {
        bool ok = false;
        seconds = parser.value(secondsOption).toInt(&ok);
        if (!ok || seconds < 0)
            return usageError(command, QStringLiteral("--seconds: '%1' is not a whole number of seconds")
                                           .arg(parser.value(secondsOption)));
    }
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty())
        return usageError(command, QStringLiteral("no FILE given"));

    const bool silent = parser.isSet(silentOption);
    auto output = SoundOutput::create(silent ? SoundOutput::Backend::Null : SoundOutput::Backend::System);
    if (!silent && output->fellBack())
        err() << "no sound device could be opened: playing on " << output->backendName() << '\n';
    err().flush();

    // The same coordinator the window plays through: the command follows its
    // signals as the tray and the desktop's media controls do.
    PlaybackCoordinator playback;
    FileListPlayer player(*output, files);
    playback.add(player);
    auto *app = QCoreApplication::instance();
    QObject::connect(&playback, &PlaybackCoordinator::nowPlayingChanged, app, [&playback] {
        const NowPlaying now = playback.nowPlaying();
        if (now.kind == MediaKind::None)
            return;
        out() << "playing: " << now.source << '\n';
        out().flush();
    });
    QObject::connect(&player, &FileListPlayer::fileFailed, app,
                     [](const QString &path, const QString &reason) {
                         err() << "varnelo-cli play: " << path << ": " << reason << '\n';
                         err().flush();
                     });
    // The last moments are still in the device, and in the sound server behind
    // it: ending early cuts the end of the last file, ending a little late costs nothing.
    QObject::connect(&player, &FileListPlayer::listEnded, app, [app, &output] {
        QTimer::singleShot(output->deviceLatencyMs() + 400, app, &QCoreApplication::quit);
    });

    interrupted = 0;
    std::signal(SIGINT, onPlayInterrupt);
    std::signal(SIGTERM, onPlayInterrupt);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, app, [app] {
        if (interrupted)
            app->quit();
    });
    watch.start(50);
    if (seconds >= 0)
        QTimer::singleShot(seconds * 1000, app, &QCoreApplication::quit);
    QTimer::singleShot(0, app, [&playback, &player] { playback.playPause(player); });
    QCoreApplication::exec();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    playback.stop();
    const int failures = player.failures();
    return failures == 0 ? ExitOk : ExitFailure;
}

const CommandRegistration registration("play", &playCommand, "play FILE... [--seconds N] [--silent]",
                                       "Play audio files through the program's sound output.");

} // namespace
} // namespace varnelo::cli
