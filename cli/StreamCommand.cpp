// varnelo-cli stream URL [--seconds N] [--silent]: connects as the station
// player's connect worker does, prints what it shows and plays the stream.
#include "cli/Commands.h"

#include "common/TextRules.h"
#include "platform/sound/SoundOutput.h"
#include "platform/stream/StreamLibrary.h"
#include "radio/StreamTitle.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <mutex>
#include <utility>
#include <vector>

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

    // The stream's thread leaves what it reports here; the main thread prints it
    // on its next look, so lines come out in order and nothing crosses threads
    // but through this mutex.
    struct Reports {
        std::mutex mutex;
        std::vector<std::pair<bool, QString>> lines; // (is an error, text)
        bool failed = false;
    } reports;
    StreamLibrary library(*output);
    const StreamLibrary::Handle handle = library.StreamCreateURL(
        url,
        [&reports](StreamStatus status, const QString &text) {
            std::lock_guard lock(reports.mutex);
            if (status != StreamStatus::Failed) {
                reports.lines.emplace_back(true, QStringLiteral("status: %1").arg(text));
                return;
            }
            reports.lines.emplace_back(true, QStringLiteral("varnelo-cli stream: %1").arg(text));
            reports.failed = true;
        },
        [&timeUp] { return interrupted || timeUp(); });
    const auto restoreSignals = [] {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
    };
    if (!handle) {
        restoreSignals();
        const int code = int(StreamLibrary::ErrorGetCode());
        if (StreamLibrary::ErrorGetCode() == StreamError::Cancelled) {
            printLine(err(),
                      interrupted
                          ? QStringLiteral("varnelo-cli stream: interrupted while connecting")
                          : QStringLiteral("varnelo-cli stream: no audio within %1 seconds").arg(seconds));
            return ExitFailure;
        }
        printLine(err(), QStringLiteral("varnelo-cli stream: %1 (error code %2)")
                             .arg(StreamFailureText(code, StreamLibrary::ErrorText()))
                             .arg(code));
        return ExitFailure;
    }

    const IcyStationInfo info = MapIcyHeaders(library.IcyTags(handle).value_or(QStringList()));
    printLine(out(), QStringLiteral("name: ") + info.name);
    printLine(out(), QStringLiteral("genre: ") + info.genre);
    printLine(out(), QStringLiteral("url: ") + info.url);
    printLine(out(),
              QStringLiteral("title: ") + ParseStreamTitle(library.MetaTag(handle)).value_or(QString()));
    library.ChannelSetSync(handle, [&reports](const QString &metadata) {
        if (const auto title = ParseStreamTitle(metadata)) {
            std::lock_guard lock(reports.mutex);
            reports.lines.emplace_back(false, QStringLiteral("title: ") + *title);
        }
    });
    library.ChannelPlay(handle);

    // Returns true once the stream gave up.
    const auto printReports = [&reports] {
        std::lock_guard lock(reports.mutex);
        for (const auto &[error, line] : reports.lines)
            printLine(error ? err() : out(), line);
        reports.lines.clear();
        return reports.failed;
    };
    auto *app = QCoreApplication::instance();
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, app, [app, &printReports] {
        if (printReports() || interrupted)
            app->quit();
    });
    watch.start(50);
    if (seconds >= 0)
        QTimer::singleShot(std::max<qint64>(0, qint64(seconds) * 1000 - started.elapsed()), app,
                           &QCoreApplication::quit);
    if (!interrupted)
        QCoreApplication::exec();
    restoreSignals();

    library.ChannelStop(handle);
    library.StreamFree(handle);
    // What the stream reported before it ended still goes out.
    return printReports() ? ExitFailure : ExitOk;
}

const CommandRegistration
    registration("stream", &streamCommand, "stream URL [--seconds N] [--silent]",
                 "Connect to a radio stream, print its station and titles and play it.");

} // namespace
} // namespace varnelo::cli
