// varnelo-cli convert: the converter without a window. The encoder is set up
// from the settings file exactly as the program sets it up.
#include "cli/Commands.h"
#include "common/Error.h"
#include "common/SettingsFile.h"
#include "common/SettingsKeys.h"
#include "convert/EncoderSetup.h"
#include "convert/FileConversion.h"
#include "platform/audiofile/AudioFile.h"
#include "platform/audiofile/AudioFile2LameEnc.h"
#include "platform/audiofile/LoudnessMeter.h"
#include "platform/tags/AudioInformation.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>
#include <vector>

namespace varnelo::cli {
namespace {

constexpr const char *kUsage = "convert --to mp3|wav|wma|ogg|flac|opus [--replaygain track|album] "
                               "[--settings FILE] [--out DIR] [--jobs N] "
                               "FILE...";

std::atomic<bool> interrupted{false};

void onInterrupt(int) {
    interrupted = true;
}

struct Job {
    QString source;
    QString output;
    std::atomic<int> percent{0};
    std::atomic<bool> finished{false};
    ConversionResult result;
    QString warning;
    LoudnessMeter meter;
    // The source's title, artist, album and genre, when they could be read.
    std::optional<AudioInformation> carried;
};

class ProgressBar {
public:
    explicit ProgressBar(bool enabled) : enabled_(enabled) {}
    void draw(const std::vector<std::unique_ptr<Job>> &jobs) {
        if (!enabled_ || jobs.empty())
            return;
        int sum = 0;
        int finished = 0;
        for (const auto &job : jobs) {
            sum += job->finished ? 100 : job->percent.load();
            finished += job->finished ? 1 : 0;
        }
        const int percent = sum / static_cast<int>(jobs.size());
        constexpr int width = 30;
        const int filled = percent * width / 100;
        const QString bar = QString(filled, QLatin1Char('#')) + QString(width - filled, QLatin1Char('.'));
        err() << QStringLiteral("\r[%1] %2% %3/%4 files")
                     .arg(bar)
                     .arg(percent, 3)
                     .arg(finished)
                     .arg(jobs.size());
        err().flush();
        drawn_ = true;
    }
    void finish() {
        if (drawn_) {
            err() << '\n';
            err().flush();
        }
    }

private:
    bool enabled_;
    bool drawn_ = false;
};

void convertOne(Job &job, int kind, const EncoderSettingsSource &settings, bool measure, int threads) {
    AudioFile reader;
    AudioFile writer;
    AudioFile2LameEnc encoder;
    writer.SetFormatOption(-1);
    writer.SetEncoderThreads(threads);
    EncoderSetup setup(settings);
    setup.ConfigureEncoder(kind, EncoderTarget{writer, encoder});
    job.result = ConvertAudioFile(
        reader, writer, job.source, job.output,
        [&job](int percent) {
            job.percent = percent;
            return !interrupted.load();
        },
        measure ? &job.meter : nullptr, false);
    if (job.result.ok) {
        // Title, artist, album and genre go with the music, as the converter tags its outputs.
        // With loudness measured they wait for the ReplayGain fields: one rewrite of the file, not two.
        try {
            AudioInformation tags;
            tags.LoadInfo(job.source);
            AudioInformation &out = job.carried.emplace();
            out.setInfoTitle(tags.infoTitle());
            out.setInfoArtist(tags.infoArtist());
            out.setInfoAlbum(tags.infoAlbum());
            out.setInfoGenreS(tags.infoGenreS());
            if (!measure)
                out.SaveInfo(job.output, true);
        } catch (const Error &e) {
            job.carried.reset();
            job.warning = QStringLiteral("converted, but the tags were not carried over: ") + e.message();
        }
    }
    if (job.result.stopped) {
        // Stopped from the terminal: a cut file must not stay behind looking whole.
        QFile::remove(job.output);
        job.result.error = QStringLiteral("interrupted");
    }
}

// Album loudness is gated over the blocks of every file together, not averaged from the tracks.
void writeReplayGain(const std::vector<std::unique_ptr<Job>> &jobs, bool album, bool opus) {
    std::vector<const LoudnessMeter *> meters;
    double albumPeak = 0;
    for (const auto &job : jobs)
        if (job->result.ok) {
            meters.push_back(&job->meter);
            albumPeak = std::max(albumPeak, job->meter.peak());
        }
    const double albumLufs = LoudnessMeter::albumLoudness(meters);
    for (const auto &job : jobs) {
        if (!job->result.ok)
            continue;
        const QMap<QString, QString> fields =
            ReplayGainFields(job->meter.loudness(), job->meter.peak(), albumLufs, albumPeak, album, opus);
        try {
            if (job->carried)
                job->carried->SaveInfo(job->output, true, fields);
            else
                AudioInformation().SaveFields(job->output, fields, true);
        } catch (const Error &e) {
            job->warning +=
                QStringLiteral(" converted, but the ReplayGain tags were not written: ") + e.message();
        }
    }
}

int convertCommand(const QStringList &args) {
    const QString command = QStringLiteral("convert");
    QCommandLineParser parser;
    const QCommandLineOption toOption(QStringLiteral("to"),
                                      QStringLiteral("Output format: mp3, wav, wma, ogg, flac or opus."),
                                      QStringLiteral("format"));
    const QCommandLineOption settingsOption(
        QStringLiteral("settings"),
        QStringLiteral("Settings file with the encoder options (default: the program's)."),
        QStringLiteral("file"));
    const QCommandLineOption outOption(
        QStringLiteral("out"), QStringLiteral("Output folder (default: the output folder of the settings)."),
        QStringLiteral("dir"));
    const QCommandLineOption jobsOption(
        QStringLiteral("jobs"),
        QStringLiteral("Cores to use (default: all): files side by side, and one file's "
                       "MP3 in segments when fewer files than cores."),
        QStringLiteral("n"));
    const QCommandLineOption gainOption(
        QStringLiteral("replaygain"),
        QStringLiteral("Measure the loudness while encoding and write ReplayGain tags: track, or album (the "
                       "files given as one album)."),
        QStringLiteral("mode"));
    parser.addOptions({toOption, settingsOption, outOption, jobsOption, gainOption});
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Files to convert."),
                                 QStringLiteral("FILE..."));
    if (auto rc = parseArguments(parser, command, args))
        return *rc;

    // In the order of the encoder kinds.
    const QStringList formats{QStringLiteral("mp3"), QStringLiteral("wav"),  QStringLiteral("wma"),
                              QStringLiteral("ogg"), QStringLiteral("flac"), QStringLiteral("opus")};
    const int kind = static_cast<int>(formats.indexOf(parser.value(toOption).toLower()));
    if (!parser.isSet(toOption))
        return usageError(command, QStringLiteral("--to is missing: give mp3, wav, wma, ogg, flac or opus"));
    if (kind < 0)
        return usageError(command, QStringLiteral("--to: '%1' is not one of mp3, wav, wma, ogg, flac, opus")
                                       .arg(parser.value(toOption)));
    const QString gain = parser.value(gainOption);
    if (parser.isSet(gainOption) && gain != QLatin1String("track") && gain != QLatin1String("album"))
        return usageError(command, QStringLiteral("--replaygain: '%1' is not track or album").arg(gain));
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty())
        return usageError(command, QStringLiteral("no input FILE"));

    int jobsWanted = QThread::idealThreadCount();
    if (parser.isSet(jobsOption)) {
        bool ok = false;
        jobsWanted = parser.value(jobsOption).toInt(&ok);
        if (!ok || jobsWanted < 1)
            return usageError(
                command,
                QStringLiteral("--jobs: '%1' is not a number of at least 1").arg(parser.value(jobsOption)));
    }

    QString settingsPath = programSettingsPath();
    if (parser.isSet(settingsOption)) {
        settingsPath = parser.value(settingsOption);
        if (!QFileInfo::exists(settingsPath))
            return usageError(command, QStringLiteral("--settings: no file '%1'").arg(settingsPath));
    }
    SettingsFile settings;
    if (!openSettings(settings, settingsPath))
        return ExitFailure;
    const FileEncoderSettings source(settings);

    QString folder;
    if (parser.isSet(outOption)) {
        folder = QDir::toNativeSeparators(parser.value(outOption));
        if (!folder.endsWith(QDir::separator()))
            folder += QDir::separator();
    } else {
        folder = readOutputFolder(settings);
    }
    // As the converter does: a missing folder is made, one level only.
    if (!QFileInfo(folder).isDir() && !QDir().mkdir(folder)) {
        err() << "varnelo-cli convert: cannot create the output folder " << folder << '\n';
        return ExitFailure;
    }

    std::vector<std::unique_ptr<Job>> jobs;
    QHash<QString, QString> outputs; // output -> source, to refuse a second source for one name
    int failures = 0;
    const QString extension = extensionForKind(kind);
    for (const QString &file : files) {
        auto job = std::make_unique<Job>();
        job->source = file;
        job->output = ConvertedFileName(folder, file, extension);
        const QString key = QFileInfo(job->output).absoluteFilePath();
        if (outputs.contains(key)) {
            err() << "varnelo-cli convert: " << file << ": output " << job->output
                  << " is already the output of " << outputs.value(key) << '\n';
            ++failures;
            continue;
        }
        outputs.insert(key, file);
        jobs.push_back(std::move(job));
    }

    interrupted = false;
    // An interrupt or a termination stops the conversions at once; the cut files are removed.
    auto previous = std::signal(SIGINT, onInterrupt);
    auto previousTerm = std::signal(SIGTERM, onInterrupt);
    std::atomic<std::size_t> next{0};
    const int workers = std::min<int>(jobsWanted, static_cast<int>(jobs.size()));
    // Fewer files than jobs: the cores left over encode within a file.
    const int threadsPerFile = std::max(1, jobsWanted / std::max(workers, 1));
    std::vector<std::thread> threads;
    // The bar is drawn every 100 ms; the last file's end is seen at once, not at the next tick.
    std::mutex doneMutex;
    std::condition_variable doneSignal;
    for (int i = 0; i < workers; ++i)
        threads.emplace_back([&] {
            for (std::size_t n; (n = next++) < jobs.size();) {
                convertOne(*jobs[n], kind, source, parser.isSet(gainOption), threadsPerFile);
                std::lock_guard lock(doneMutex);
                jobs[n]->finished = true;
                doneSignal.notify_all();
            }
        });
    ProgressBar bar(isatty(STDERR_FILENO) == 1);
    const auto allDone = [&] {
        return std::all_of(jobs.begin(), jobs.end(), [](const auto &j) { return j->finished.load(); });
    };
    for (std::unique_lock lock(doneMutex); !allDone();) {
        bar.draw(jobs);
        doneSignal.wait_for(lock, std::chrono::milliseconds(100), allDone);
    }
    for (std::thread &t : threads)
        t.join();
    bar.draw(jobs);
    bar.finish();
    std::signal(SIGINT, previous);
    std::signal(SIGTERM, previousTerm);
    if (parser.isSet(gainOption))
        writeReplayGain(jobs, gain == QLatin1String("album"), kind == int(EncoderKind::Opus));

    for (const auto &job : jobs) {
        if (job->result.ok) {
            out() << job->output << '\n';
            if (!job->warning.isEmpty())
                err() << "varnelo-cli convert: " << job->source << ": " << job->warning << '\n';
        } else {
            ++failures;
            err() << "varnelo-cli convert: " << job->source << ": "
                  << (job->result.error.isEmpty() ? QStringLiteral("conversion failed") : job->result.error)
                  << '\n';
        }
    }
    return failures == 0 ? ExitOk : ExitFailure;
}

const CommandRegistration registration(
    "convert", convertCommand, kUsage,
    "Convert audio files to MP3, WAV, WMA, OGG, FLAC or Opus with the program's encoder settings.");

} // namespace
} // namespace varnelo::cli
