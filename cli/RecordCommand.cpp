// varnelo-cli record: records a station as the window's recorder does (same
// naming, tagging, no-overwrite and split rules), without a window.
#include "cli/Commands.h"

#include "common/SettingsFile.h"
#include "common/SettingsKeys.h"
#include "common/ShownPage.h"
#include "convert/EncoderSetup.h"
#include "platform/sound/AudioRecord.h"
#include "platform/sound/SoundOutput.h"
#include "platform/stream/StreamLibrary.h"
#include "radio/Recorder.h"
#include "radio/RecordingsList.h"
#include "radio/StationSelection.h"
#include "radio/StreamTitle.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <chrono>
#include <csignal>
#include <functional>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace varnelo::cli {
namespace {

constexpr const char *kUsage =
    "record URL [--seconds N] [--to mp3|wav|wma|ogg|flac|opus] [--settings FILE] [--out DIR] "
    "[--name station|genre|datetime] [--split-by-title] [--as-broadcast]";
const QString Command = QStringLiteral("record");

volatile std::sig_atomic_t interrupted = 0;
extern "C" void onRecordInterrupt(int) {
    interrupted = 1;
}

// Nothing to open or beep at on a terminal; the recording never powers off.
class TerminalShell final : public DesktopShell {
public:
    void openFolder(const QString &) override {}
    void beep() override {}
    bool powerOff() override { return false; }
    bool networkReachable() override { return true; }
    void associationsChanged(const QString &) override {}
};

// What the stream's thread reports, taken by the main thread.
struct StreamNews {
    std::mutex mutex;
    std::optional<QString> title;
    std::optional<QString> failure;
};

int recordCommand(const QStringList &args) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption secondsOption(QStringLiteral("seconds"),
                                           QStringLiteral("Stop once N seconds of the station are recorded."),
                                           QStringLiteral("N"));
    const QCommandLineOption toOption(QStringLiteral("to"), QStringLiteral("Output format."),
                                      QStringLiteral("format"));
    const QCommandLineOption settingsOption(QStringLiteral("settings"), QStringLiteral("Settings file."),
                                            QStringLiteral("file"));
    const QCommandLineOption outOption(QStringLiteral("out"), QStringLiteral("Output folder."),
                                       QStringLiteral("dir"));
    const QCommandLineOption nameOption(QStringLiteral("name"), QStringLiteral("Naming rule."),
                                        QStringLiteral("rule"));
    const QCommandLineOption splitOption(QStringLiteral("split-by-title"),
                                         QStringLiteral("A file per title."));
    const QCommandLineOption broadcastOption(QStringLiteral("as-broadcast"),
                                             QStringLiteral("The station's own frames."));
    parser.addOptions(
        {secondsOption, toOption, settingsOption, outOption, nameOption, splitOption, broadcastOption});
    if (auto rc = parseArguments(parser, Command, args))
        return *rc;
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usageError(Command, QStringLiteral("no station address given"));
    if (positional.size() > 1)
        return usageError(Command, QStringLiteral("unexpected argument %1").arg(positional.at(1)));
    const QString url = positional.first();

    int seconds = -1;
    if (parser.isSet(secondsOption)) {
        bool ok = false;
        seconds = parser.value(secondsOption).toInt(&ok);
        if (!ok || seconds < 1)
            return usageError(Command,
                              QStringLiteral("--seconds %1: needs a whole number of seconds, at least 1")
                                  .arg(parser.value(secondsOption)));
    }
    const QStringList formats{QStringLiteral("mp3"), QStringLiteral("wav"),  QStringLiteral("wma"),
                              QStringLiteral("ogg"), QStringLiteral("flac"), QStringLiteral("opus")};
    const int kind = parser.isSet(toOption) ? int(formats.indexOf(parser.value(toOption).toLower())) : 0;
    if (kind < 0)
        return usageError(Command, QStringLiteral("--to %1: must be one of mp3, wav, wma, ogg, flac, opus")
                                       .arg(parser.value(toOption)));
    const QStringList rules{QStringLiteral("station"), QStringLiteral("genre"), QStringLiteral("datetime")};
    const int naming = parser.isSet(nameOption) ? int(rules.indexOf(parser.value(nameOption).toLower())) : 0;
    if (naming < 0)
        return usageError(Command, QStringLiteral("--name %1: must be one of station, genre, datetime")
                                       .arg(parser.value(nameOption)));
    QString settingsPath = QDir::current().filePath(QStringLiteral("temp.ini"));
    if (parser.isSet(settingsOption)) {
        settingsPath = parser.value(settingsOption);
        if (!QFileInfo::exists(settingsPath))
            return usageError(Command, QStringLiteral("--settings %1: no such file").arg(settingsPath));
    }
    SettingsFile settings;
    if (!openSettings(settings, settingsPath))
        return ExitFailure;
    const FileEncoderSettings encoderSettings(settings);
    QString folder = parser.isSet(outOption) ? parser.value(outOption) : readOutputFolder(settings);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');

    interrupted = 0;
    std::signal(SIGINT, onRecordInterrupt);
    std::signal(SIGTERM, onRecordInterrupt);
    const auto restoreSignals = [] {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
    };
    av_log_set_level(AV_LOG_ERROR);
    // What the program plays is recorded; on a terminal nothing needs to be heard.
    auto output = SoundOutput::create(SoundOutput::Backend::Null);
    // Nobody hears the station here: its decoded sound goes to the recording
    // alone, with no mixer between.
    StreamLibrary::Options options;
    options.audible = false;
    StreamLibrary library(*output, options);
    StreamNews news;
    const StreamLibrary::Handle handle =
        library.StreamCreateURL(url, [&news](StreamStatus status, const QString &text) {
            if (status != StreamStatus::Failed)
                return;
            std::lock_guard lock(news.mutex);
            news.failure = text;
        });
    if (!handle) {
        restoreSignals();
        const int code = int(StreamLibrary::ErrorGetCode());
        err() << "varnelo-cli record: " << StreamFailureText(code, StreamLibrary::ErrorText())
              << " (error code " << code << ")\n";
        err().flush();
        return ExitFailure;
    }
    const IcyStationInfo info = MapIcyHeaders(library.IcyTags(handle).value_or(QStringList()));
    QString title = ParseStreamTitle(library.MetaTag(handle)).value_or(QString());
    QString genre = info.genre;
    library.ChannelSetSync(handle, [&news](const QString &metadata) {
        if (const auto t = ParseStreamTitle(metadata)) {
            std::lock_guard lock(news.mutex);
            news.title = *t;
        }
    });
    // Files are tagged and listed as on the radio page.
    const SetPage page{Page::Radio};
    StationSelection lists;

    AudioRecord record(*output);
    SystemClock clock;
    TerminalShell shell;
    RecordingsList list(lists);
    bool failed = false;
    // The stop checks, run as the recording's clock moves (and by a slow timer
    // for a station gone quiet): --seconds ends on the block that reaches it.
    std::function<void()> progressed;
    RecorderHooks hooks;
    hooks.setLabtime = [&progressed](const QString &) {
        if (progressed)
            progressed();
    };
    hooks.stationPlaying = [] { return true; };
    hooks.streamHandle = [handle] { return handle; };
    hooks.format = [kind] { return kind; };
    hooks.naming = [naming] { return naming; };
    hooks.outputFolder = [folder] { return folder; };
    hooks.splitByTitle = [&parser, &splitOption] { return parser.isSet(splitOption); };
    hooks.asBroadcast = [&parser, &broadcastOption] { return parser.isSet(broadcastOption); };
    hooks.unheard = [] { return true; };
    hooks.configureEncoder = [&encoderSettings](int k, AudioFile &file, AudioFile2LameEnc &encoder) {
        EncoderSetup setup(encoderSettings);
        setup.ConfigureEncoder(k, EncoderTarget{file, encoder});
        return setup.OutputExtension();
    };
    hooks.title = [&title] { return title; };
    hooks.setTitle = [&title](const QString &t) { title = t; };
    hooks.genre = [&genre] { return genre; };
    hooks.setGenre = [&genre](const QString &g) { genre = g; };
    hooks.reportError = [&failed](const QString &message) {
        failed = true;
        err() << "varnelo-cli record: " << message << '\n';
        err().flush();
    };
    Recorder recorder(page, record, library, clock, shell, list, hooks);
    QObject::connect(&recorder, &Recorder::fileFinished, [](const QString &path) {
        out() << "file: " << path << '\n';
        out().flush();
    });

    recorder.StartRecording();
    // Nobody hears the station here: a recording of its own frames needs no decoding.
    if (recorder.recordingAsBroadcast())
        library.ChannelSetDecoding(handle, false);
    auto *app = QCoreApplication::instance();
    int rc = ExitOk;
    if (!recorder.recording()) {
        rc = ExitFailure;
    } else {
        QTimer watch;
        progressed = [&] {
            std::optional<QString> failure;
            {
                std::lock_guard lock(news.mutex);
                if (news.title)
                    title = *std::exchange(news.title, std::nullopt);
                failure = std::exchange(news.failure, std::nullopt);
            }
            if (failure) {
                err() << "varnelo-cli record: " << *failure << '\n';
                err().flush();
                rc = ExitFailure;
                app->quit();
            } else if (interrupted || !recorder.recording() ||
                       (seconds > 0 && recorder.recordedMilliseconds() >= seconds * 1000LL)) {
                app->quit();
            }
        };
        QObject::connect(&watch, &QTimer::timeout, app, progressed);
        // --seconds counts recorded audio, not the wall clock: a station that takes a
        // while to answer or buffers must not cut the file short. A stalled one still
        // ends, a minute past the asked length.
        watch.start(500);
        if (seconds > 0)
            QTimer::singleShot(std::chrono::seconds(seconds + 60), app, [&] {
                err() << "varnelo-cli record: the station stopped sending; the recording ends early\n";
                err().flush();
                app->quit();
            });
        if (!interrupted)
            QCoreApplication::exec();
        progressed = nullptr;
        recorder.StopRecording();
        if (failed)
            rc = ExitFailure;
    }
    restoreSignals();
    library.ChannelStop(handle);
    library.StreamFree(handle);
    return rc;
}

const CommandRegistration registration("record", &recordCommand, kUsage,
                                       "Record a radio station to MP3, WAV, WMA or OGG files.");

} // namespace
} // namespace varnelo::cli
