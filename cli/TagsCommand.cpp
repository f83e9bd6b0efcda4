#include "cli/Commands.h"

#include "common/Error.h"
#include "common/FileGuards.h"
#include "convert/FileConversion.h"
#include "library/LibraryRecord.h"
#include "platform/audiofile/LoudnessMeter.h"
#include "platform/tags/AudioInformation.h"
#include "platform/tags/TrackTagReaders.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <atomic>
#include <csignal>
#include <memory>
#include <optional>
#include <vector>

namespace varnelo::cli {
namespace {

const QString Command = QStringLiteral("tags");

void printInfo(const AudioInformation &info) {
    auto line = [](const char *name, const QString &value) { out() << name << ": " << shown(value) << '\n'; };
    auto number = [&](const char *name, qint64 value) { line(name, QString::number(value)); };
    // The tag editor's order, with the genre's text beside its number.
    line("infoTitle", info.infoTitle());
    line("infoArtist", info.infoArtist());
    line("infoAlbum", info.infoAlbum());
    number("infoGenre", info.infoGenre());
    line("infoGenreS", info.infoGenreS());
    line("infoCopyright", info.infoCopyright());
    line("infoComments", info.infoComments());
    number("infoYear", info.infoYear());
    number("infoTrack", info.infoTrack());
    line("infoComposer", info.infoComposer());
    line("infoURL", info.infoURL());
    line("infoEncodedBy", info.infoEncodedBy());
    line("infoFormatString", info.infoFormatString());
    number("infoFrequency", info.infoFrequency());
    number("infoBitrate", info.infoBitrate());
    number("infoDuration", info.infoDuration());
    number("infoChannels", info.infoChannels());
    number("infoSamples", info.infoSamples());
    number("infoSize", info.infoSize());
    number("infoBitsPerSample", info.infoBitsPerSample());
    number("infoFormatTag", info.infoFormatTag());
}

int fail(const QString &message) {
    err() << "varnelo-cli " << Command << ": " << shown(message) << '\n';
    return ExitFailure;
}

int show(const QStringList &argsIn) {
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Audio file."));
    if (auto rc = parseArguments(parser, Command + QStringLiteral(" show"), argsIn))
        return *rc;
    const QStringList args = parser.positionalArguments();
    if (args.size() != 1)
        return usageError(Command, args.isEmpty()
                                       ? QStringLiteral("show needs a FILE")
                                       : QStringLiteral("show takes one FILE; unexpected '%1'").arg(args[1]));
    AudioInformation info;
    info.SetInfoOption(true);
    AudioInformation::Cover cover;
    try {
        info.LoadInfo(args.first());
        cover = info.LoadCover(args.first());
    } catch (const Error &e) {
        return fail(e.message());
    }
    printInfo(info);
    if (!cover.isNull())
        out() << "cover: " << cover.width << 'x' << cover.height << ' '
              << shown(cover.mime.isEmpty() ? QStringLiteral("unknown type") : cover.mime) << '\n';
    return ExitOk;
}

std::optional<int> parseNumber(const QString &text, int low, int high) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

int set(const QStringList &args) {
    QCommandLineParser parser;
    const QCommandLineOption title(QStringLiteral("title"), QStringLiteral("Title."), QStringLiteral("T"));
    const QCommandLineOption artist(QStringLiteral("artist"), QStringLiteral("Artist."), QStringLiteral("A"));
    const QCommandLineOption album(QStringLiteral("album"), QStringLiteral("Album."), QStringLiteral("B"));
    const QCommandLineOption genre(QStringLiteral("genre-number"), QStringLiteral("Genre number, 0 to 147."),
                                   QStringLiteral("N"));
    const QCommandLineOption year(QStringLiteral("year"), QStringLiteral("Year, 0 to 9999."),
                                  QStringLiteral("Y"));
    const QCommandLineOption track(QStringLiteral("track"), QStringLiteral("Track number, 0 to 65535."),
                                   QStringLiteral("N"));
    const QCommandLineOption comment(QStringLiteral("comment"), QStringLiteral("Comment."),
                                     QStringLiteral("C"));
    const QCommandLineOption v1(QStringLiteral("id3v1"), QStringLiteral("Write an MP3's tag as ID3v1."));
    const QCommandLineOption v2(QStringLiteral("id3v2"), QStringLiteral("Write an MP3's tag as ID3v2."));
    const QCommandLineOption cover(
        QStringLiteral("cover"), QStringLiteral("Make a JPEG or PNG image (at most 16 MB) the front cover."),
        QStringLiteral("IMAGE"));
    const QCommandLineOption removeCover(QStringLiteral("remove-cover"),
                                         QStringLiteral("Remove the front cover."));
    parser.addOptions({title, artist, album, genre, year, track, comment, v1, v2, cover, removeCover});
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Audio file to write."));
    if (auto rc = parseArguments(parser, Command + QStringLiteral(" set"), args))
        return *rc;
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1)
        return usageError(Command, files.isEmpty()
                                       ? QStringLiteral("set needs a FILE")
                                       : QStringLiteral("set takes one FILE; unexpected '%1'").arg(files[1]));
    if (parser.isSet(v1) && parser.isSet(v2))
        return usageError(Command, QStringLiteral("--id3v1 and --id3v2 exclude each other"));
    const bool anyValue = parser.isSet(title) || parser.isSet(artist) || parser.isSet(album) ||
                          parser.isSet(genre) || parser.isSet(year) || parser.isSet(track) ||
                          parser.isSet(comment);
    if (parser.isSet(cover) && parser.isSet(removeCover))
        return usageError(Command, QStringLiteral("--cover and --remove-cover exclude each other"));
    if (!anyValue && !parser.isSet(cover) && !parser.isSet(removeCover))
        return usageError(Command, QStringLiteral("nothing to write"));

    std::optional<int> genreNumber, yearNumber, trackNumber;
    const auto badNumber = [&parser](const QCommandLineOption &option, int high) {
        return usageError(Command, QStringLiteral("--%1: '%2' is not a number from 0 to %3")
                                       .arg(option.names().constFirst(), parser.value(option))
                                       .arg(high));
    };
    if (parser.isSet(genre) && !(genreNumber = parseNumber(parser.value(genre), 0, 147)))
        return badNumber(genre, 147);
    if (parser.isSet(year) && !(yearNumber = parseNumber(parser.value(year), 0, 9999)))
        return badNumber(year, 9999);
    if (parser.isSet(track) && !(trackNumber = parseNumber(parser.value(track), 0, 65535)))
        return badNumber(track, 65535);

    AudioInformation info;
    try {
        // A bad image is found before anything is written.
        if (parser.isSet(cover))
            AudioInformation::ReadCoverImage(parser.value(cover));
        // Loading first keeps every field the command line does not name.
        info.LoadInfo(files.first());
        if (parser.isSet(title))
            info.setInfoTitle(parser.value(title));
        if (parser.isSet(artist))
            info.setInfoArtist(parser.value(artist));
        if (parser.isSet(album))
            info.setInfoAlbum(parser.value(album));
        if (genreNumber)
            info.setInfoGenre(*genreNumber);
        if (yearNumber)
            info.setInfoYear(*yearNumber);
        if (trackNumber)
            info.setInfoTrack(*trackNumber);
        if (parser.isSet(comment))
            info.setInfoComments(parser.value(comment));
        if (parser.isSet(v1))
            info.setInfoMTV(1);
        else if (parser.isSet(v2))
            info.setInfoMTV(2);
        if (anyValue) // a save with nothing named could still add the ID3 version not there yet
            info.SaveInfo(files.first());
        if (parser.isSet(cover))
            info.SaveCover(files.first(), parser.value(cover));
        else if (parser.isSet(removeCover))
            info.RemoveCover(files.first());
    } catch (const Error &e) {
        return fail(e.message());
    }
    return ExitOk;
}

// Values are printed as a library record stores them: cut to the field widths.
int read(const QStringList &args) {
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Audio files."),
                                 QStringLiteral("FILE..."));
    if (auto rc = parseArguments(parser, Command + QStringLiteral(" read"), args))
        return *rc;
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty())
        return usageError(Command, QStringLiteral("read needs at least one FILE"));
    int rc = ExitOk;
    bool first = true;
    for (const QString &path : files) {
        const QString suffix = QFileInfo(path).suffix();
        const QString extension = suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix.toLower();
        if (!TrackFileExtensions().contains(extension)) {
            rc = fail(QStringLiteral("%1: not a library file type (%2)")
                          .arg(path, TrackFileExtensions().join(QLatin1Char(' '))));
            continue;
        }
        TrackFields f;
        try {
            f = ReadTrackFields(path, extension);
        } catch (const Error &e) {
            rc = fail(e.message());
            continue;
        }
        LibraryRecord record;
        record.Genre = f.genre;
        record.Title = f.title;
        record.Artist = f.artist;
        record.Album = f.album;
        record = record.stored();
        if (!first)
            out() << '\n';
        first = false;
        out() << "Genre: " << shown(record.Genre) << '\n'
              << "Title: " << shown(record.Title) << '\n'
              << "Artist: " << shown(record.Artist) << '\n'
              << "Album: " << shown(record.Album) << '\n';
    }
    return rc;
}

std::atomic<bool> interrupted{false};

void onInterrupt(int) {
    interrupted = true;
}

// Measures the files as they are and writes ReplayGain 2.0 tags, as the
// converter writes them for what it encodes. An album is gated over the blocks
// of all its files together; it is written only when every file was measured.
int gain(const QStringList &args) {
    QCommandLineParser parser;
    const QCommandLineOption album(
        QStringLiteral("album"), QStringLiteral("Also write the album gain and peak of the files together."));
    parser.addOption(album);
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Audio files."),
                                 QStringLiteral("FILE..."));
    if (auto rc = parseArguments(parser, Command + QStringLiteral(" gain"), args))
        return *rc;
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty())
        return usageError(Command, QStringLiteral("gain needs at least one FILE"));

    struct Track {
        QString path;
        LoudnessMeter meter;
        bool opus = false;
    };
    std::vector<std::unique_ptr<Track>> tracks;
    int rc = ExitOk;
    interrupted = false;
    const auto previousInt = std::signal(SIGINT, onInterrupt);
    const auto previousTerm = std::signal(SIGTERM, onInterrupt);
    for (const QString &path : files) {
        if (interrupted)
            break;
        auto track = std::make_unique<Track>();
        track->path = path;
        QString error, codec;
        if (!files::isRegularFile(path)) {
            rc = fail(QStringLiteral("%1: not a regular file").arg(path));
        } else if (!track->meter.measureFile(
                       path, [] { return !interrupted.load(); }, &error, &codec)) {
            if (!interrupted) // an interruption is told once, below
                rc = fail(QStringLiteral("%1 cannot be measured: %2").arg(path, error));
        } else {
            track->opus = codec.contains(QLatin1String("opus"));
            tracks.push_back(std::move(track));
        }
    }
    std::signal(SIGINT, previousInt);
    std::signal(SIGTERM, previousTerm);
    if (interrupted)
        return fail(QStringLiteral("interrupted; no tags were written"));
    if (parser.isSet(album) && rc != ExitOk)
        return fail(QStringLiteral("not every file was measured; no tags were written"));

    std::vector<const LoudnessMeter *> meters;
    double albumPeak = 0;
    for (const auto &track : tracks) {
        meters.push_back(&track->meter);
        albumPeak = std::max(albumPeak, track->meter.peak());
    }
    const double albumLufs = LoudnessMeter::albumLoudness(meters);
    for (const auto &track : tracks) {
        const QMap<QString, QString> fields =
            ReplayGainFields(track->meter.loudness(), track->meter.peak(), albumLufs, albumPeak,
                             parser.isSet(album), track->opus);
        if (fields.isEmpty()) {
            rc = fail(
                QStringLiteral("%1: nothing above the silence gate; no tags were written").arg(track->path));
            continue;
        }
        try {
            AudioInformation().SaveFields(track->path, fields);
        } catch (const Error &e) {
            rc = fail(e.message());
            continue;
        }
        QStringList shownFields;
        for (auto it = fields.begin(); it != fields.end(); ++it)
            shownFields << it.key() + QLatin1Char('=') + it.value();
        out() << shown(track->path) << ": " << shownFields.join(QStringLiteral(", ")) << '\n';
    }
    return rc;
}

int run(const QStringList &argsIn) {
    QCommandLineParser parser;
    // The sub-command's own options follow it; they are parsed by the sub-command.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parser.addPositionalArgument(QStringLiteral("SUB-COMMAND"), QStringLiteral("show, set, read or gain."),
                                 QStringLiteral("SUB-COMMAND [ARGUMENTS]"));
    if (auto rc = parseArguments(parser, Command, argsIn))
        return *rc;
    const QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        return usageError(Command, QStringLiteral("missing sub-command (show, set, read or gain)"));
    const QString sub = args.first();
    const QStringList rest = args.mid(1);
    if (sub == QLatin1String("show"))
        return show(rest);
    if (sub == QLatin1String("set"))
        return set(rest);
    if (sub == QLatin1String("read"))
        return read(rest);
    if (sub == QLatin1String("gain"))
        return gain(rest);
    return usageError(Command, QStringLiteral("unknown sub-command '%1'").arg(sub));
}

const CommandRegistration
    registration("tags", &run,
                 "tags show FILE\n"
                 "tags set FILE [--title T] [--artist A] [--album B] [--genre-number N] [--year Y] [--track "
                 "N] [--comment C] "
                 "[--id3v1|--id3v2] [--cover IMAGE|--remove-cover]\n"
                 "tags read FILE...\n"
                 "tags gain [--album] FILE...",
                 "Show and write the tags of an audio file, read them as the library stores them, or measure "
                 "files and write their ReplayGain tags.");

} // namespace
} // namespace varnelo::cli
