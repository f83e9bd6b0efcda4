// varnelo-cli play FILE... [--seconds N] [--silent]: plays local files through
// the program's sound output, fed exactly as the local player feeds it.
#include "cli/Commands.h"

#include "platform/audiofile/AudioFile.h"
#include "platform/sound/AudioPlayer.h"
#include "platform/sound/SoundOutput.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>
#include <csignal>
#include <functional>

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

    AudioFile file;
    // The next file, opened as the one that plays runs out: when it has the same
    // format its sound is queued right behind, without a break.
    AudioFile ahead;
    bool aheadQueued = false, aheadRefused = false;
    AudioPlayer player(*output);
    qint64 arraySize = 0;
    int failures = 0;
    qsizetype next = 0;
    auto *app = QCoreApplication::instance();
    std::function<void()> feed = [&] {
        if (!file.GetFileOpen())
            return;
        AudioFile &source = aheadQueued ? ahead : file;
        const SampleBlock block = source.ReadSamples(arraySize);
        player.QueueSamples(block);
        if (qint64(block.size()) == arraySize * source.Channels() || aheadQueued || aheadRefused)
            return;
        const SoundFormat format = player.PlayFormat();
        if (next < files.size() && ahead.OpenSource(files.at(next)) &&
            ahead.SampleRate() == format.sampleRate && ahead.Channels() == format.channels) {
            player.MarkTrackBoundary();
            aheadQueued = true;
            feed();
            return;
        }
        // A new start plays it (or reports why it cannot).
        ahead.CloseFile();
        aheadRefused = true;
    };
    const auto reachedNext = [&] {
        if (!aheadQueued)
            return;
        file.TakeSource(ahead);
        aheadQueued = aheadRefused = false;
        out() << "playing: " << files.at(next++) << '\n';
        out().flush();
    };
    // Opens the next file that can be opened and starts it; quits after the last.
    const auto playNext = [&] {
        file.CloseFile();
        ahead.CloseFile();
        aheadQueued = aheadRefused = false;
        while (next < files.size()) {
            const QString path = files.at(next++);
            if (!file.OpenSource(path)) {
                err() << "varnelo-cli play: " << path << ": " << file.ErrorText() << '\n';
                err().flush();
                ++failures;
                continue;
            }
            out() << "playing: " << path << '\n';
            out().flush();
            player.SetPlayFormat(file.SampleRate(), file.Channels());
            arraySize = player.MillisecondsToSamples(200);
            player.Start();
            feed();
            feed();
            return;
        }
        // The last moments are still in the device, and in the sound server behind
        // it: ending early cuts the end of the last file, ending a little late costs nothing.
        QTimer::singleShot(output->deviceLatencyMs() + 400, app, &QCoreApplication::quit);
    };
    QObject::connect(&player, &AudioPlayer::OnEndArrayPlay, app, feed);
    QObject::connect(&player, &AudioPlayer::OnRequestOnLoadArray, app, feed);
    QObject::connect(&player, &AudioPlayer::OnEndPlay, app, playNext);
    QObject::connect(&player, &AudioPlayer::OnTrackBoundary, app, reachedNext);

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
    QTimer::singleShot(0, app, playNext);
    QCoreApplication::exec();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    player.Stop();
    file.CloseFile();
    return failures == 0 ? ExitOk : ExitFailure;
}

const CommandRegistration registration("play", &playCommand, "play FILE... [--seconds N] [--silent]",
                                       "Play audio files through the program's sound output.");

} // namespace
} // namespace varnelo::cli
