// varnelo-cli cd: the rip page without a window. Lists a disc, looks it up and
// rips it by the window's rules (naming, tags, read settings, log).
#include "cli/Commands.h"
#include "common/SettingsFile.h"
#include "common/SettingsKeys.h"
#include "common/ShownPage.h"
#include "convert/EncoderSetup.h"
#include "platform/audiofile/AudioFile2LameEnc.h"
#include "platform/cd/AccurateRipLookup.h"
#include "platform/cd/AudioCDGrabber.h"
#include "platform/cd/CdDrive.h"
#include "platform/cd/DriveOffsets.h"
#include "platform/cd/FreeDBInformation.h"
#include "platform/cd/OffsetFinder.h"
#include "platform/tags/AudioInformation.h"
#include "rip/CdRipper.h"
#include "rip/CdSettings.h"

#include <QCommandLineParser>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <map>

#include <atomic>
#include <csignal>
#include <unistd.h>

namespace varnelo::cli {

int verifyRipLog(const QStringList &args); // CdVerifyLog.cpp

namespace {

constexpr const char *kUsage =
    "cd list [--device D] | lookup [--device D] [--server URL] [--match N] | rip [--device D] --to "
    "mp3|wav|wma|ogg|flac [--tracks 1,3-5] [--settings FILE] [--out DIR] [--name none|artist|album] "
    "[--lookup] [--server URL] [--match N] [--accuraterip URL|off] [--covers URL|off] [--offset N] "
    "[--secure] [--overread] | offset [--device D] [--accuraterip URL] [--list [--refresh]] | verify-log LOG";

std::atomic<bool> interrupted{false};

void onInterrupt(int) {
    interrupted = true;
}

// Questions are answered as the command line says: the match asked for.
class CdPrompts final : public Prompts {
public:
    int match = 1;
    bool saidWhy = false; // the match asked for was not there, and that was said
    PromptAnswer message(const QString &, const QString &, PromptIcon, PromptButtons b) override {
        return b == PromptButtons::YesNo ? PromptAnswer::No : PromptAnswer::Cancel;
    }
    void plain(const QString &) override {}
    QStringList openFiles(const QString &, const QString &, const QString &) override { return {}; }
    QString chooseFolder(const QString &, const QString &, FolderPurpose) override { return {}; }
    int chooseItem(const QString &, const QString &, const QStringList &items) override {
        if (match > items.size()) {
            err() << "varnelo-cli cd: there are only " << items.size() << " matches; --match " << match
                  << " takes none\n";
            saidWhy = true;
            return -1;
        }
        return match - 1;
    }
};

class NoShell final : public DesktopShell {
public:
    void openFolder(const QString &) override {}
    void beep() override {}
    bool powerOff() override { return false; }
    bool networkReachable() override { return true; }
    void associationsChanged(const QString &) override {}
};

// "1,3-5" as 0-based indexes; empty with an error for anything else.
std::optional<QSet<int>> parseTracks(const QString &text, int count, QString &error) {
    QSet<int> out;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList ends = part.split(QLatin1Char('-'));
        bool ok1 = false, ok2 = true;
        const int from = ends.value(0).trimmed().toInt(&ok1);
        const int to = ends.size() == 2 ? ends[1].trimmed().toInt(&ok2) : from;
        if (!ok1 || !ok2 || ends.size() > 2 || from < 1 || to < from || to > count) {
            error =
                QStringLiteral("--tracks: \"%1\" is not a track or range of 1 to %2").arg(part).arg(count);
            return std::nullopt;
        }
        for (int t = from; t <= to; ++t)
            out.insert(t - 1);
    }
    if (out.isEmpty()) {
        error = QStringLiteral("--tracks names no track");
        return std::nullopt;
    }
    return out;
}

struct Session {
    SetPage page{Page::Rip};
    QString settingsPath;
    std::unique_ptr<SettingsFile> settings;
    std::unique_ptr<FileEncoderSettings> encoderSettings;
    std::unique_ptr<EncoderSetup> setup;
    AudioFile2LameEnc encoder;
    AudioInformation tags;
    CdPrompts prompts;
    NoShell shell;
    cd::AudioCDGrabber grabber;
    cd::FreeDBInformation information;
    std::unique_ptr<CdRipper> ripper;
};

void printRows(const CdRipper &ripper) {
    for (int row = 0; row < ripper.lv_cd.rowCount(); ++row) {
        QStringList cells;
        for (int c = CdRipper::NoColumn; c <= CdRipper::TimeColumn; ++c)
            cells << shown(ripper.lv_cd.item(row, c)->text());
        out() << cells.join(QLatin1Char('\t')) << '\n';
    }
}

// The drive's read offset from one read of the disc, matched against the
// AccurateRip database: the disc is looked up first, so a disc the database
// does not know is not read at all.
int findOffset(Session &s, const QUrl &server) {
    cd::AccurateRipLookup lookup;
    lookup.server = server;
    QEventLoop loop;
    QObject::connect(&lookup, &cd::AccurateRipLookup::finished, &loop, &QEventLoop::quit);
    lookup.Fetch(s.grabber.Toc());
    if (!lookup.done())
        loop.exec();
    if (!lookup.error().isEmpty()) {
        err() << "varnelo-cli cd offset: AccurateRip: " << shown(lookup.error()) << '\n';
        return ExitFailure;
    }
    if (lookup.pressings().empty()) {
        err() << "varnelo-cli cd offset: the disc is not in the AccurateRip database\n";
        return ExitFailure;
    }
    interrupted = false;
    auto previousInt = std::signal(SIGINT, onInterrupt);
    auto previousTerm = std::signal(SIGTERM, onInterrupt);
    const cd::OffsetSearch found = cd::findReadOffset(
        s.grabber.DriveId(), ReadGrabSettings(*s.encoderSettings), lookup.pressings(), &interrupted);
    std::signal(SIGINT, previousInt);
    std::signal(SIGTERM, previousTerm);
    if (!found.error.isEmpty()) {
        err() << "varnelo-cli cd offset: " << shown(found.error) << '\n';
        return ExitFailure;
    }
    if (found.uncorrected > 0)
        err() << "varnelo-cli cd offset: " << found.uncorrected
              << " sectors could not be read correctly; their tracks cannot match\n";
    if (!found.match) {
        err() << "varnelo-cli cd offset: no read offset within ±" << cd::OffsetSearchRange
              << " samples matches the database's " << lookup.pressings().size() << " records\n";
        return ExitFailure;
    }
    const cd::OffsetMatch &m = *found.match;
    out() << "offset: " << (m.offset >= 0 ? "+" : "") << m.offset << " (" << m.tracks << " of "
          << found.audioTracks << " tracks match, confidence " << m.confidence << ")\n";
    return ExitOk;
}

// The drive's offset as AccurateRip's drive list has it; the list is fetched
// (from the database's address) and kept in the data folder when none is kept
// or `refresh` asks for it.
int listedOffset(Session &s, const QUrl &server, const QString &dataFolder, bool refresh) {
    if (s.grabber.DriveIsImage()) {
        err() << "varnelo-cli cd offset: " << shown(QDir::toNativeSeparators(s.grabber.DriveId()))
              << " is a disc image: only a drive has a read offset to look up\n";
        return ExitFailure;
    }
    QDir().mkpath(dataFolder);
    const QString path = QDir(dataFolder).filePath(QString::fromLatin1(cd::DriveOffsetsFileName));
    cd::DriveOffsetList list;
    bool loaded = false;
    QEventLoop loop;
    cd::loadDriveOffsets(path, server, refresh, &loop, [&](const cd::DriveOffsetList &l) {
        list = l;
        loaded = true;
        loop.quit();
    });
    if (!loaded)
        loop.exec();
    if (!list.error.isEmpty()) {
        err() << "varnelo-cli cd offset: " << shown(list.error) << '\n';
        return ExitFailure;
    }
    const QString vendor = s.grabber.DriveVendor(), model = s.grabber.DriveProduct();
    const auto found = cd::findDriveOffset(list.records, vendor, model);
    if (!found) {
        err() << "varnelo-cli cd offset: the read offset of " << shown(cd::driveOffsetKey(vendor, model))
              << " is unknown: it is not among the " << list.records.size()
              << " drives of AccurateRip's list (cd offset finds it from a disc in the database)\n";
        return ExitFailure;
    }
    out() << "offset: " << (found->offset >= 0 ? "+" : "") << found->offset << " (" << shown(found->name)
          << " in AccurateRip's drive list, " << found->submissions << " submissions"
          << (found->percent >= 0 ? QStringLiteral(", %1% agree").arg(found->percent) : QString()) << ")\n";
    return ExitOk;
}

// Waits for the lookup; false with a message when it found nothing.
bool lookUp(Session &s, const QString &command) {
    QEventLoop loop;
    int status = 0;
    QObject::connect(&s.grabber, &cd::AudioCDGrabber::OnFreeDBQueryStatus, &loop, [&](int st) {
        if (st == 1 || st == 2)
            return;
        status = st;
        loop.quit();
    });
    s.ripper->LookUpFreeDB();
    loop.exec();
    if (status == 3)
        return true;
    if (status == -1)
        err() << "varnelo-cli cd " << command << ": Connection failed!"
              << (s.information.lastError().isEmpty()
                      ? QString()
                      : QStringLiteral(" (") + s.information.lastError() + QLatin1Char(')'))
              << '\n';
    else if (status == -2)
        err() << "varnelo-cli cd " << command << ": No FreeDB information available for this CD!\n";
    else if (!s.prompts.saidWhy)
        err() << "varnelo-cli cd " << command << ": no album was chosen\n";
    return false;
}

int cdCommand(const QStringList &args) {
    const QString action = args.value(0);
    if (action == QLatin1String("--help") || action == QLatin1String("-h")) {
        QCommandLineParser parser;
        parser.addPositionalArgument(QStringLiteral("ACTION"),
                                     QStringLiteral("list, lookup, rip, offset or verify-log."),
                                     QStringLiteral("ACTION [OPTIONS]"));
        return parseArguments(parser, QStringLiteral("cd"), args).value_or(ExitOk);
    }
    if (action == QLatin1String("verify-log"))
        return verifyRipLog(args.mid(1));
    if (action != QLatin1String("list") && action != QLatin1String("lookup") &&
        action != QLatin1String("rip") && action != QLatin1String("offset"))
        return usageError(QStringLiteral("cd"),
                          action.isEmpty() ? QStringLiteral("list, lookup, rip, offset or verify-log?")
                                           : QStringLiteral("unknown action %1").arg(action));
    const QString command = QStringLiteral("cd ") + action;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption deviceOption(QStringLiteral("device"), QStringLiteral("Drive or disc image."),
                                          QStringLiteral("D"));
    const QCommandLineOption serverOption(QStringLiteral("server"), QStringLiteral("CDDB server address."),
                                          QStringLiteral("URL"));
    const QCommandLineOption matchOption(QStringLiteral("match"), QStringLiteral("Match to take."),
                                         QStringLiteral("N"));
    const QCommandLineOption musicBrainzOption(
        QStringLiteral("musicbrainz"), QStringLiteral("MusicBrainz server address."), QStringLiteral("URL"));
    const QCommandLineOption toOption(QStringLiteral("to"), QStringLiteral("Output format."),
                                      QStringLiteral("format"));
    const QCommandLineOption tracksOption(QStringLiteral("tracks"), QStringLiteral("Tracks to rip."),
                                          QStringLiteral("list"));
    const QCommandLineOption settingsOption(QStringLiteral("settings"), QStringLiteral("Settings file."),
                                            QStringLiteral("file"));
    const QCommandLineOption outOption(QStringLiteral("out"), QStringLiteral("Output folder."),
                                       QStringLiteral("dir"));
    const QCommandLineOption nameOption(QStringLiteral("name"), QStringLiteral("Folder naming."),
                                        QStringLiteral("none|artist|album"));
    const QCommandLineOption lookupOption(QStringLiteral("lookup"),
                                          QStringLiteral("Look the disc up first."));
    const QCommandLineOption accurateRipOption(QStringLiteral("accuraterip"),
                                               QStringLiteral("AccurateRip database address, or off."),
                                               QStringLiteral("URL"));
    const QCommandLineOption coversOption(QStringLiteral("covers"),
                                          QStringLiteral("Cover Art Archive address, or off."),
                                          QStringLiteral("URL"));
    const QCommandLineOption offsetOption(
        QStringLiteral("offset"), QStringLiteral("The drive's read offset in samples."), QStringLiteral("N"));
    const QCommandLineOption overreadOption(
        QStringLiteral("overread"),
        QStringLiteral("Read the lead-out past the disc's end where the drive gives it."));
    const QCommandLineOption secureOption(
        QStringLiteral("secure"), QStringLiteral("Test and copy: read every track twice and compare."));
    parser.addOptions({deviceOption, serverOption, matchOption, musicBrainzOption, settingsOption});
    if (action == QLatin1String("rip"))
        parser.addOptions({toOption, tracksOption, outOption, nameOption, lookupOption, accurateRipOption,
                           coversOption, offsetOption, secureOption, overreadOption});
    // The same option, for the offset search, which cannot do without the database.
    const QCommandLineOption databaseOption(QStringLiteral("accuraterip"),
                                            QStringLiteral("AccurateRip database address."),
                                            QStringLiteral("URL"));
    const QCommandLineOption listOption(QStringLiteral("list"),
                                        QStringLiteral("The drive's offset from AccurateRip's drive list."));
    const QCommandLineOption refreshOption(QStringLiteral("refresh"),
                                           QStringLiteral("Fetch the drive list again (with --list)."));
    if (action == QLatin1String("offset"))
        parser.addOptions({databaseOption, listOption, refreshOption});
    if (auto rc = parseArguments(parser, command, args.mid(1)))
        return *rc;
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("cd"),
                          QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));

    Session s;
    int kind = -1;
    if (action == QLatin1String("rip")) {
        const QStringList formats{QStringLiteral("mp3"), QStringLiteral("wav"), QStringLiteral("wma"),
                                  QStringLiteral("ogg"), QStringLiteral("flac")};
        kind = int(formats.indexOf(parser.value(toOption).toLower()));
        if (!parser.isSet(toOption) || kind < 0)
            return usageError(QStringLiteral("cd"),
                              QStringLiteral("--to must be one of mp3, wav, wma, ogg, flac"));
    }
    const bool ripping = action == QLatin1String("rip");
    int naming = 0;
    if (ripping && parser.isSet(nameOption)) {
        naming = int(
            QStringList{QStringLiteral("none"), QStringLiteral("artist"), QStringLiteral("album")}.indexOf(
                parser.value(nameOption)));
        if (naming < 0)
            return usageError(
                QStringLiteral("cd"),
                QStringLiteral("--name must be none, artist or album, not %1").arg(parser.value(nameOption)));
    }
    if (parser.isSet(matchOption)) {
        bool ok = false;
        s.prompts.match = parser.value(matchOption).toInt(&ok);
        if (!ok || s.prompts.match < 1)
            return usageError(QStringLiteral("cd"),
                              QStringLiteral("--match needs a number of at least 1, not %1")
                                  .arg(parser.value(matchOption)));
    }
    int readOffset = 0;
    if (ripping && parser.isSet(offsetOption)) {
        bool ok = false;
        readOffset = parser.value(offsetOption).toInt(&ok);
        if (!ok || std::abs(readOffset) > cd::AudioCDGrabber::MaxReadOffset)
            return usageError(QStringLiteral("cd"),
                              QStringLiteral("--offset needs a number of samples within "
                                             "±%1, not %2")
                                  .arg(cd::AudioCDGrabber::MaxReadOffset)
                                  .arg(parser.value(offsetOption)));
    }
    s.settingsPath = QDir::current().filePath(QStringLiteral("temp.ini"));
    if (parser.isSet(settingsOption)) {
        s.settingsPath = parser.value(settingsOption);
        if (!QFileInfo::exists(s.settingsPath))
            return usageError(QStringLiteral("cd"),
                              QStringLiteral("settings file %1 not found").arg(s.settingsPath));
    }
    s.settings = std::make_unique<SettingsFile>();
    if (!openSettings(*s.settings, s.settingsPath))
        return ExitFailure;
    s.encoderSettings = std::make_unique<FileEncoderSettings>(*s.settings);
    s.setup = std::make_unique<EncoderSetup>(*s.encoderSettings);
    s.ripper = std::make_unique<CdRipper>(s.page, s.grabber, s.information, s.encoder, *s.setup,
                                          *s.encoderSettings, s.tags, s.prompts, s.shell);
    CdRipper &ripper = *s.ripper;
    const QString dataFolder = DataFolder::besideExecutable().path();
    ripper.lookupSettings = [&] {
        cd::LookupSettings l = ReadLookupSettings(*s.settings, dataFolder);
        if (parser.isSet(serverOption)) {
            l.cddbServer = cd::cddbServerUrl(parser.value(serverOption), QString());
            if (l.source == cd::LookupSettings::Source::LocalFile)
                l.source = cd::LookupSettings::Source::CddbOnly;
        }
        if (parser.isSet(musicBrainzOption))
            l.musicBrainzServer = QUrl(parser.value(musicBrainzOption));
        // A server named here is asked, and its answer is not kept for the program.
        if (parser.isSet(serverOption) || parser.isSet(musicBrainzOption))
            l.cacheFolder.clear();
        return l;
    };
    QString folder;
    if (ripping && parser.isSet(outOption)) {
        folder = QDir::toNativeSeparators(parser.value(outOption));
        if (!folder.endsWith(QDir::separator()))
            folder += QDir::separator();
    } else {
        folder = readOutputFolder(*s.settings);
    }
    ripper.outputFolder = [folder] { return folder; };
    ripper.folderNaming = [naming] { return naming; };
    ripper.readOffset = [readOffset] { return readOffset; };
    const bool secure = ripping && parser.isSet(secureOption);
    ripper.secureCopy = [secure] { return secure; };
    const bool overread = ripping && parser.isSet(overreadOption);
    ripper.overread = [overread] { return overread; };
    ripper.openFolderWhenDone = [] { return false; };
    if (ripping && parser.isSet(accurateRipOption))
        ripper.accurateRipServer = parser.value(accurateRipOption) == QLatin1String("off")
                                       ? QUrl()
                                       : QUrl(parser.value(accurateRipOption));
    if (ripping && parser.isSet(coversOption)) {
        const QString value = parser.value(coversOption);
        const QUrl url(value);
        if (value != QLatin1String("off") && (!url.isValid() || url.scheme().isEmpty()))
            return usageError(
                QStringLiteral("cd"),
                QStringLiteral("--covers needs the cover server's address or off, not %1").arg(value));
        ripper.coverServer = value == QLatin1String("off") ? QUrl() : url;
    }

    // The drive: the one named, or the first.
    const QString device = parser.value(deviceOption);
    if (!device.isEmpty()) {
        if (cd::isDiscImagePath(device) && !QFileInfo::exists(device)) {
            err() << "varnelo-cli " << command << ": the disc image " << device << " does not exist\n";
            return ExitFailure;
        }
        if (!ripper.UseDrive(device)) {
            err() << "varnelo-cli " << command << ": there is no drive " << device << '\n';
            return ExitFailure;
        }
    } else {
        s.grabber.Initialize();
        if (s.grabber.DriveCount() == 0) {
            err() << "varnelo-cli " << command
                  << ": no CD drive was found; name a disc image with --device\n";
            return ExitFailure;
        }
        s.grabber.SelectDrive(1);
        ripper.UseDrive(s.grabber.DriveId());
    }
    // The offset commands' database: --accuraterip or the default address.
    const bool offsetAction = action == QLatin1String("offset");
    const QUrl server = offsetAction && parser.isSet(accurateRipOption)
                            ? QUrl(parser.value(accurateRipOption))
                            : cd::AccurateRipLookup::defaultServer();
    if (offsetAction && (!server.isValid() || server.scheme().isEmpty()))
        return usageError(QStringLiteral("cd"),
                          QStringLiteral("--accuraterip needs the database's address, not %1")
                              .arg(parser.value(accurateRipOption)));
    if (offsetAction && parser.isSet(listOption)) {
        return listedOffset(s, server, dataFolder, parser.isSet(refreshOption));
    }
    if (action == QLatin1String("offset") && parser.isSet(refreshOption))
        return usageError(QStringLiteral("cd"), QStringLiteral("--refresh goes with --list"));
    s.grabber.ReadDisc();
    const QString name = s.grabber.DriveId();
    switch (s.grabber.DiscStatus()) {
    case 0:
        err() << "varnelo-cli " << command << ": no disc in " << name
              << (s.grabber.DiscError().isEmpty()
                      ? QString()
                      : QStringLiteral(" (") + s.grabber.DiscError() + QLatin1Char(')'))
              << '\n';
        return ExitFailure;
    case 2:
        err() << "varnelo-cli " << command << ": " << name << ": " << shown(s.grabber.DiscError()) << '\n';
        return ExitFailure;
    default:
        break;
    }
    ripper.ListDiscTracks();

    if (action == QLatin1String("offset")) {
        return findOffset(s, server);
    }
    if (action == QLatin1String("list")) {
        printRows(ripper);
        return ExitOk;
    }
    if (action == QLatin1String("lookup")) {
        if (!lookUp(s, action))
            return ExitFailure;
        printRows(ripper);
        return ExitOk;
    }

    // rip
    if (parser.isSet(lookupOption) && !lookUp(s, action))
        err() << "varnelo-cli cd rip: ripping with the names the disc has\n";
    if (parser.isSet(tracksOption)) {
        QString error;
        const auto tracks = parseTracks(parser.value(tracksOption), ripper.lv_cd.rowCount(), error);
        if (!tracks)
            return usageError(QStringLiteral("cd"), error);
        for (int row = 0; row < ripper.lv_cd.rowCount(); ++row)
            ripper.lv_cd.item(row, 0)->setCheckState(tracks->contains(row) ? Qt::Checked : Qt::Unchecked);
    }
    int checked = 0;
    for (int row = 0; row < ripper.lv_cd.rowCount(); ++row)
        checked += ripper.lv_cd.item(row, 0)->checkState() == Qt::Checked ? 1 : 0;

    const bool terminal = isatty(STDERR_FILENO) == 1;
    // Reading and encoding run side by side, so two grabs may report at once:
    // the bar sums each grab's own share and never runs backwards.
    std::map<int, double> grabPercent;
    int finished = 0;
    const auto draw = [&] {
        if (!terminal || checked == 0)
            return;
        double sum = 0;
        for (const auto &[grab, percent] : grabPercent)
            sum += percent;
        const double percent = std::min(100.0, sum / checked);
        constexpr int width = 30;
        const int filled = int(percent * width / 100);
        err() << QStringLiteral("\r[%1%2] %3% %4/%5 tracks")
                     .arg(QString(filled, QLatin1Char('#')), QString(width - filled, QLatin1Char('.')))
                     .arg(int(percent), 3)
                     .arg(finished)
                     .arg(checked);
        err().flush();
    };
    QObject::connect(&s.grabber, &cd::AudioCDGrabber::GrabProgress, &ripper, [&](int grab, double p) {
        double &share = grabPercent[grab];
        share = std::max(share, std::clamp(p, 0.0, 100.0));
        draw();
    });
    QObject::connect(&s.grabber, &cd::AudioCDGrabber::GrabFinished, &ripper, [&](int grab) {
        grabPercent[grab] = 100;
        ++finished;
        draw();
    });
    QEventLoop loop;
    QObject::connect(&ripper, &CdRipper::ripFinished, &loop, &QEventLoop::quit);
    interrupted = false;
    auto previous = std::signal(SIGINT, onInterrupt);
    auto previousTerm = std::signal(SIGTERM, onInterrupt);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &ripper, [&] {
        if (interrupted && ripper.ripping())
            ripper.StopRip();
    });
    watch.start(100);
    bool ended = false;
    QObject::connect(&ripper, &CdRipper::ripFinished, &ripper, [&] { ended = true; });
    ripper.RipCheckedTracks(kind);
    if (!ended)
        loop.exec();
    std::signal(SIGINT, previous);
    std::signal(SIGTERM, previousTerm);
    if (terminal && checked > 0) {
        err() << '\n';
        err().flush(); // before the rows on standard output
    }

    int failures = 0;
    for (const RipLogTrack &t : ripper.lastRip()) {
        const bool done = t.result.status == cd::GrabResult::Status::Done;
        QString status = t.reached ? t.status.trimmed() : QStringLiteral("not ripped");
        if (!t.result.error.isEmpty())
            status += QStringLiteral(": ") + t.result.error;
        const QString accurate =
            t.accurateRip.text().isEmpty() ? QStringLiteral("AccurateRip not checked") : t.accurateRip.text();
        out() << shown(t.path) << '\t' << shown(status) << '\t' << (done ? accurate : QStringLiteral("-"))
              << '\n';
        if (!done || t.result.uncorrected > 0 || t.result.copy == cd::GrabResult::Copy::Differ)
            ++failures;
    }
    for (const QString &note : ripper.lastNotes())
        err() << "varnelo-cli cd rip: " << shown(note.simplified()) << '\n';
    if (!ripper.lastLogPath().isEmpty())
        err() << "varnelo-cli cd rip: log " << QDir::toNativeSeparators(ripper.lastLogPath()) << '\n';
    if (interrupted)
        err() << "varnelo-cli cd rip: interrupted\n";
    return failures == 0 && !interrupted ? ExitOk : ExitFailure;
}

const CommandRegistration registration(
    "cd", cdCommand, kUsage,
    "List, look up and rip audio CDs and disc images; find a drive's read offset; check a rip log.");

} // namespace
} // namespace varnelo::cli
