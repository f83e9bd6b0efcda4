#include "platform/tags/tags_fixtures.h"

#include "common/Error.h"
#include "platform/tags/AudioInformation.h"
#include "platform/tags/SafeTagWrite.h"
#include "support/AudioCheck.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

using namespace varnelo;
using namespace varnelo::testing;

namespace {

class TagsInformation : public ::testing::Test {
protected:
    QString path(const QString &name) const { return dir.filePath(name); }
    // MP3 without any tag: ffmpeg's muxer would add an ID3v2 tag of its own.
    QString plainMp3(const QString &name,
                     const QString &source = QStringLiteral("sine=frequency=440:duration=1")) {
        return makeAudio(path(name),
                         {QStringLiteral("-c:a"), QStringLiteral("libmp3lame"), QStringLiteral("-b:a"),
                          QStringLiteral("128k"), QStringLiteral("-id3v2_version"), QStringLiteral("0"),
                          QStringLiteral("-write_xing"), QStringLiteral("0")},
                         source);
    }
    static void fillAll(AudioInformation &info) {
        info.setInfoTitle(QStringLiteral("Title Ä"));
        info.setInfoArtist(QStringLiteral("Artist"));
        info.setInfoAlbum(QStringLiteral("Album"));
        info.setInfoComments(QStringLiteral("A comment"));
        info.setInfoCopyright(QStringLiteral("(c) Someone"));
        info.setInfoURL(QStringLiteral("https://example.org/x"));
        info.setInfoEncodedBy(QStringLiteral("Encoder Person"));
        info.setInfoComposer(QStringLiteral("Composer"));
        info.setInfoGenre(17);
        info.setInfoYear(1987);
        info.setInfoTrack(9);
    }
    QTemporaryDir dir;
};

TEST_F(TagsInformation, Mp3FactsMatchTheEncoding) {
    const QString file = plainMp3(QStringLiteral("facts.mp3"),
                                  QStringLiteral("sine=frequency=440:duration=3:sample_rate=44100"));
    AudioInformation info;
    info.SetInfoOption(true);
    info.LoadInfo(file);
    EXPECT_EQ(info.infoFrequency(), 44100);
    EXPECT_EQ(info.infoChannels(), 1);
    EXPECT_NEAR(info.infoBitrate(), 128000, 4000);
    EXPECT_NEAR(info.infoDuration(), 3000, 60);
    EXPECT_NEAR(info.infoSamples(), 3 * 44100, 3000);
    EXPECT_EQ(info.infoSize(), QFileInfo(file).size());
    EXPECT_EQ(info.infoFormatTag(), 0x55);
    EXPECT_EQ(info.infoBitsPerSample(), 0);
    EXPECT_TRUE(info.infoFormatString().contains(QLatin1String("Layer 3")))
        << info.infoFormatString().toStdString();
}

TEST_F(TagsInformation, WavFactsAreExact) {
    const QString file = makeAudio(
        path(QStringLiteral("facts.wav")),
        {QStringLiteral("-ac"), QStringLiteral("2"), QStringLiteral("-c:a"), QStringLiteral("pcm_s24le")},
        QStringLiteral("sine=frequency=440:duration=1.5:sample_rate=22050"));
    AudioInformation info;
    info.LoadInfo(file);
    EXPECT_EQ(info.infoFrequency(), 22050);
    EXPECT_EQ(info.infoChannels(), 2);
    EXPECT_EQ(info.infoBitsPerSample(), 24);
    EXPECT_EQ(info.infoBitrate(), 22050 * 2 * 24);
    EXPECT_EQ(info.infoSamples(), 33075);
    EXPECT_EQ(info.infoDuration(), 1500);
    EXPECT_EQ(info.infoFormatTag(), 1);
    EXPECT_EQ(info.infoSize(), QFileInfo(file).size());
}

// Every property written is read back by a fresh component and, for the
// common ones, by ffprobe.
struct FormatCase {
    const char *name;
    QStringList encode;
    bool url;
};

class TagsRoundTrip : public TagsInformation, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(TagsRoundTrip, EveryPropertySurvivesAndOthersReadIt) {
    const FormatCase &c = GetParam();
    const QString file = makeAudio(path(QString::fromLatin1(c.name)), c.encode);
    AudioInformation writer;
    writer.LoadInfo(file);
    fillAll(writer);
    writer.SaveInfo(file);

    AudioInformation reader;
    reader.LoadInfo(file);
    EXPECT_EQ(reader.infoTitle(), QStringLiteral("Title Ä"));
    EXPECT_EQ(reader.infoArtist(), QStringLiteral("Artist"));
    EXPECT_EQ(reader.infoAlbum(), QStringLiteral("Album"));
    EXPECT_EQ(reader.infoComments(), QStringLiteral("A comment"));
    EXPECT_EQ(reader.infoCopyright(), QStringLiteral("(c) Someone"));
    EXPECT_EQ(reader.infoEncodedBy(), QStringLiteral("Encoder Person"));
    EXPECT_EQ(reader.infoComposer(), QStringLiteral("Composer"));
    if (c.url) {
        EXPECT_EQ(reader.infoURL(), QStringLiteral("https://example.org/x"));
    }
    EXPECT_EQ(reader.infoGenre(), 17);
    EXPECT_EQ(reader.infoGenreS(), QStringLiteral("Rock"));
    EXPECT_EQ(reader.infoYear(), 1987);
    EXPECT_EQ(reader.infoTrack(), 9);
    EXPECT_GT(reader.infoDuration(), 900);

    const auto tags = varnelo::test::probeAudio(file).tags;
    EXPECT_EQ(tags.value(QStringLiteral("title")), QStringLiteral("Title Ä"));
    EXPECT_EQ(tags.value(QStringLiteral("artist")), QStringLiteral("Artist"));
    EXPECT_EQ(tags.value(QStringLiteral("album")), QStringLiteral("Album"));
    EXPECT_EQ(tags.value(QStringLiteral("genre")), QStringLiteral("Rock"));
    EXPECT_TRUE(tags.value(QStringLiteral("track")).startsWith(QLatin1Char('9')));
    const QString year = tags.value(QStringLiteral("date"), tags.value(QStringLiteral("wm/year")));
    EXPECT_EQ(year, QStringLiteral("1987"));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, TagsRoundTrip,
    ::testing::Values(FormatCase{"t.mp3", {QStringLiteral("-c:a"), QStringLiteral("libmp3lame")}, true},
                      FormatCase{"t.ogg", {QStringLiteral("-c:a"), QStringLiteral("libvorbis")}, true},
                      FormatCase{"t.wma", {QStringLiteral("-c:a"), QStringLiteral("wmav2")}, true},
                      FormatCase{"t.wav", {QStringLiteral("-c:a"), QStringLiteral("pcm_s16le")}, true},
                      FormatCase{"t.flac", {QStringLiteral("-c:a"), QStringLiteral("flac")}, true},
                      FormatCase{"t.opus", {QStringLiteral("-c:a"), QStringLiteral("libopus")}, true},
                      FormatCase{"t.m4a", {QStringLiteral("-c:a"), QStringLiteral("aac")}, false}),
    [](const auto &info) {
        return QString::fromLatin1(info.param.name).replace(QLatin1Char('.'), QLatin1Char('_')).toStdString();
    });

TEST_F(TagsInformation, MpegTagVersionChoosesTheTagWritten) {
    auto hasV1 = [](const QString &f) { return readAll(f).right(128).startsWith("TAG"); };
    auto hasV2 = [](const QString &f) { return readAll(f).startsWith("ID3"); };

    const QString v1 = plainMp3(QStringLiteral("v1.mp3"));
    ASSERT_FALSE(hasV1(v1) || hasV2(v1));
    AudioInformation info;
    info.setInfoTitle(QStringLiteral("Only One"));
    info.setInfoMTV(1);
    info.SaveInfo(v1);
    EXPECT_TRUE(hasV1(v1));
    EXPECT_FALSE(hasV2(v1));
    EXPECT_EQ(varnelo::test::probeAudio(v1).tags.value(QStringLiteral("title")), QStringLiteral("Only One"));

    const QString v2 = plainMp3(QStringLiteral("v2.mp3"));
    info.setInfoMTV(2);
    info.SaveInfo(v2);
    EXPECT_TRUE(hasV2(v2));
    EXPECT_FALSE(hasV1(v2));

    // A tag of the other version already present follows the new values.
    info.setInfoTitle(QStringLiteral("Changed"));
    info.SaveInfo(v1);
    EXPECT_TRUE(hasV1(v1) && hasV2(v1));
    AudioInformation back;
    back.LoadInfo(v1);
    EXPECT_EQ(back.infoTitle(), QStringLiteral("Changed"));
    EXPECT_TRUE(readAll(v1).right(128).mid(3, 7) == "Changed");

    const QString both = plainMp3(QStringLiteral("both.mp3"));
    AudioInformation fresh;
    fresh.setInfoTitle(QStringLiteral("Both"));
    fresh.SaveInfo(both);
    EXPECT_TRUE(hasV1(both) && hasV2(both));

    EXPECT_THROW(fresh.setInfoMTV(3), Error);
}

TEST_F(TagsInformation, Id3v1KeepsTextOutsideLatin1) {
    const QString file = plainMp3(QStringLiteral("cyr.mp3"));
    AudioInformation info;
    info.setInfoMTV(1);
    info.setInfoTitle(QStringLiteral("Привет мир"));
    info.setInfoArtist(QStringLiteral("Ünïcödé but Latin-1"));
    info.SaveInfo(file);
    AudioInformation back;
    back.LoadInfo(file);
    EXPECT_EQ(back.infoTitle(), QStringLiteral("Привет мир"));
    EXPECT_EQ(back.infoArtist(), QStringLiteral("Ünïcödé but Latin-1"));
    // Latin-1 text stays Latin-1 in the tag, as every ID3v1 reader expects.
    EXPECT_TRUE(readAll(file).right(128).mid(33, 7) == "\xDCn\xEF"
                                                       "c\xF6"
                                                       "d\xE9");
}

TEST_F(TagsInformation, UnchangedValuesLeaveTheFileAlone) {
    const QString file = makeAudio(path(QStringLiteral("keep.ogg")),
                                   {QStringLiteral("-c:a"), QStringLiteral("libvorbis"),
                                    QStringLiteral("-metadata"), QStringLiteral("date=2004-05-01"),
                                    QStringLiteral("-metadata"), QStringLiteral("title=Same")});
    AudioInformation info;
    info.LoadInfo(file);
    EXPECT_EQ(info.infoYear(), 2004);
    const FileState before = fileState(file);
    QThread::msleep(20);
    info.SaveInfo(file);
    EXPECT_TRUE(fileState(file) == before) << "nothing changed, so nothing may be written";

    info.setInfoTitle(QStringLiteral("Other"));
    info.SaveInfo(file);
    EXPECT_EQ(varnelo::test::probeAudio(file).tags.value(QStringLiteral("date")),
              QStringLiteral("2004-05-01"));
    info.setInfoYear(2005);
    info.SaveInfo(file);
    EXPECT_EQ(varnelo::test::probeAudio(file).tags.value(QStringLiteral("date")), QStringLiteral("2005"));
}

TEST_F(TagsInformation, GenreNumberAndTextFollowEachOther) {
    AudioInformation info;
    info.setInfoGenre(140);
    EXPECT_EQ(info.infoGenreS(), QStringLiteral("Contemporary C"));
    info.setInfoGenreS(QStringLiteral("other"));
    EXPECT_EQ(info.infoGenre(), 12);
    info.setInfoGenreS(QStringLiteral("Nintendocore"));
    EXPECT_EQ(info.infoGenre(), -1);
    // "No genre chosen" keeps a text the table does not hold ...
    info.setInfoGenre(500);
    EXPECT_EQ(info.infoGenre(), -1);
    EXPECT_EQ(info.infoGenreS(), QStringLiteral("Nintendocore"));
    // ... and a chosen one replaces it.
    info.setInfoGenre(0);
    EXPECT_EQ(info.infoGenreS(), QStringLiteral("Blues"));
    EXPECT_EQ(AudioInformation::GenreName(3), QStringLiteral("Dance"));

    // Another program's spelling of a table genre still finds its number.
    const QString file =
        makeAudio(path(QStringLiteral("g.ogg")),
                  {QStringLiteral("-c:a"), QStringLiteral("libvorbis"), QStringLiteral("-metadata"),
                   QStringLiteral("genre=Contemporary Christian")});
    info.LoadInfo(file);
    EXPECT_EQ(info.infoGenre(), 140);
    EXPECT_EQ(info.infoGenreS(), QStringLiteral("Contemporary Christian"));
}

TEST_F(TagsInformation, WavKeepsInfoChunkAndPutsTheRestInAnId3Chunk) {
    const QString file = makeAudio(path(QStringLiteral("w.wav")),
                                   {QStringLiteral("-metadata"), QStringLiteral("title=Old"),
                                    QStringLiteral("-metadata"), QStringLiteral("encoded_by=EB")});
    AudioInformation info;
    info.LoadInfo(file);
    EXPECT_EQ(info.infoTitle(), QStringLiteral("Old"));
    EXPECT_EQ(info.infoEncodedBy(), QStringLiteral("EB"));
    info.setInfoTitle(QStringLiteral("Neu – ÿ"));
    info.SaveInfo(file);
    QByteArray bytes = readAll(file);
    EXPECT_TRUE(bytes.contains("INAM"));
    EXPECT_FALSE(bytes.toLower().contains("id3 ")) << "nothing needed an ID3 chunk yet";
    EXPECT_EQ(varnelo::test::probeAudio(file).tags.value(QStringLiteral("title")), QStringLiteral("Neu – ÿ"));

    info.setInfoComposer(QStringLiteral("Comp"));
    info.SaveInfo(file);
    EXPECT_TRUE(readAll(file).toLower().contains("id3 "));
    AudioInformation back;
    back.LoadInfo(file);
    EXPECT_EQ(back.infoComposer(), QStringLiteral("Comp"));
    EXPECT_EQ(back.infoTitle(), QStringLiteral("Neu – ÿ"));
    EXPECT_EQ(back.infoEncodedBy(), QStringLiteral("EB"));
}

TEST_F(TagsInformation, FailuresNameTheFileAndChangeNothing) {
    AudioInformation info;
    const QString missing = path(QStringLiteral("missing.mp3"));
    try {
        info.LoadInfo(missing);
        FAIL() << "no error for a missing file";
    } catch (const Error &e) {
        EXPECT_TRUE(e.message().contains(missing));
    }
    EXPECT_THROW(info.SaveInfo(missing), Error);

    const QString text = path(QStringLiteral("notes.txt"));
    writeAll(text, "just some words, not audio\n");
    EXPECT_THROW(info.LoadInfo(text), Error);

    const QString file = plainMp3(QStringLiteral("ro.mp3"));
    AudioInformation loaded;
    loaded.setInfoTitle(QStringLiteral("stale"));
    makeReadOnly(file);
    const FileState before = fileState(file);
    loaded.LoadInfo(file); // reading a read-only file is fine and leaves it as it was
    EXPECT_TRUE(loaded.infoTitle().isEmpty());
    EXPECT_TRUE(fileState(file) == before);
    loaded.setInfoTitle(QStringLiteral("New"));
    try {
        loaded.SaveInfo(file);
        FAIL() << "a read-only file was written";
    } catch (const Error &e) {
        EXPECT_TRUE(e.message().contains(QLatin1String("read-only")));
    }
    EXPECT_TRUE(fileState(file) == before);

    // A failed load leaves nothing of the earlier file behind.
    EXPECT_THROW(loaded.LoadInfo(missing), Error);
    EXPECT_EQ(loaded.infoFrequency(), 0);
    EXPECT_TRUE(loaded.infoTitle().isEmpty());
}

} // namespace

namespace {

// Frames of audio as an independent decoder counts them after decoding.
qint64 decodedSamples(const QString &file) {
    const ToolResult r =
        runTool(QStringLiteral("ffprobe"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                 QStringLiteral("frame=nb_samples"), QStringLiteral("-of"), QStringLiteral("csv=p=0"), file});
    qint64 total = 0;
    for (const QByteArray &line : r.out.split('\n'))
        total += line.trimmed().toLongLong();
    return r.exitCode == 0 ? total : -1;
}

QByteArray syncsafe(int n) {
    const char bytes[] = {char((n >> 21) & 0x7F), char((n >> 14) & 0x7F), char((n >> 7) & 0x7F),
                          char(n & 0x7F)};
    return QByteArray(bytes, 4);
}

// An ID3v2.3 tag with one title frame whose header claims `declared` bytes.
QByteArray lyingId3v2(int declared) {
    const QByteArray frame = QByteArray("TIT2") + QByteArray("\0\0\0\x0b\0\0\0", 7) + "Old title!";
    return QByteArray("ID3\x03\0\0", 6) + syncsafe(declared) + frame;
}

} // namespace

// A damaged file whose tag regions TagLib misreads would lose audio to a
// rewrite: the copy is checked by decoding it, and the original is replaced
// only when its audio is the same.
// A file just encoded is checked byte for byte between its tags (no decoding):
// tags are written, a copy whose audio bytes changed is refused.
TEST_F(TagsInformation, AJustEncodedFileIsCheckedByItsAudioBytes) {
    for (const QString &name : {QStringLiteral("new.mp3"), QStringLiteral("new.flac")}) {
        const QString file = name.endsWith(QLatin1String("mp3")) ? plainMp3(name) : makeAudio(path(name), {});
        AudioInformation info;
        info.setInfoTitle(QStringLiteral("Fresh"));
        info.SaveInfo(file, true);
        EXPECT_EQ(test::probeAudio(file).title, QStringLiteral("Fresh")) << name.toStdString();
        const QByteArray before = readAll(file);
        const auto spoil = [](const QString &copy) {
            QFile f(copy);
            ASSERT_TRUE(f.open(QIODevice::ReadWrite));
            f.seek(f.size() / 2); // inside the frames, whatever tags the ends hold
            f.write("0123456789");
        };
        EXPECT_THROW(tagformats::WriteThroughCopy(file, spoil, tagformats::AudioCheck::Bytes), Error);
        EXPECT_EQ(readAll(file), before) << name.toStdString();
    }
}

TEST_F(TagsInformation, ATagWriteNeverCutsTheAudio) {
    const QByteArray mp3 = readAll(plainMp3(QStringLiteral("plain.mp3")));
    const QByteArray wav = readAll(makeAudio(path(QStringLiteral("plain.wav")), {}));
    QByteArray wma = readAll(
        makeAudio(path(QStringLiteral("plain.wma")), {QStringLiteral("-c:a"), QStringLiteral("wmav2")}));
    // The ASF header object's size (bytes 16..23) claims nearly the whole file.
    const quint64 headerSize = quint64(wma.size() - 100);
    for (int i = 0; i < 8; ++i)
        wma[16 + i] = char((headerSize >> (8 * i)) & 0xFF);
    // A WAV whose "LIST" chunk claims to run over the data chunk.
    QByteArray wavList = wav;
    const qsizetype data = wavList.indexOf("data");
    wavList.insert(data, QByteArray("LIST\x00\x00\x01\x00INFO", 12));
    const struct {
        const char *name;
        QByteArray bytes;
    } damaged[] = {
        {"beyond.mp3", lyingId3v2(100000) + mp3}, // the tag claims more than the file holds
        {"most.mp3", lyingId3v2(int(mp3.size()) - 2000) + mp3},
        {"all.mp3", lyingId3v2(int(mp3.size()) + 20) + mp3},
        {"header.wma", wma},
        {"list.wav", wavList},
    };
    for (const auto &c : damaged) {
        const QString file = path(QString::fromLatin1(c.name));
        writeAll(file, c.bytes);
        const FileState before = fileState(file);
        AudioInformation info;
        info.setInfoTitle(QStringLiteral("X"));
        try {
            info.SaveInfo(file);
            ADD_FAILURE() << c.name << ": written, now " << readAll(file).size() << " of " << c.bytes.size()
                          << " bytes";
        } catch (const Error &e) {
            EXPECT_TRUE(e.message().contains(file) && e.message().contains(QLatin1String("left as it was")))
                << e.message().toStdString();
        }
        EXPECT_TRUE(fileState(file) == before) << c.name;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Hidden | QDir::Files).filter(QLatin1String("varnelo")),
                  QStringList())
            << "no copy is left behind";
    }

    // A sound file is written through a copy that keeps the audio, the
    // permissions, and a link that named it.
    const QString good = path(QStringLiteral("good.mp3"));
    writeAll(good, mp3);
    ASSERT_TRUE(QFile::setPermissions(good, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    const QString link = path(QStringLiteral("link.mp3"));
    ASSERT_TRUE(QFile::link(good, link));
    // A copy a killed write left an hour ago goes; one another write is making now stays.
    const QString stale = path(QStringLiteral(".varnelo-Ab12Cd.mp3"));
    const QString busy = path(QStringLiteral(".varnelo-Ef34Gh.mp3"));
    writeAll(stale, mp3);
    writeAll(busy, mp3);
    QFile old(stale);
    ASSERT_TRUE(old.open(QIODevice::ReadWrite) && old.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                                                  QFileDevice::FileModificationTime));
    old.close();
    AudioInformation info;
    info.setInfoTitle(QStringLiteral("Through a copy"));
    info.SaveInfo(link);
    EXPECT_FALSE(QFile::exists(stale));
    EXPECT_TRUE(QFile::exists(busy));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    const QFile::Permissions ownerGroupOther(0x7077); // the user's own bits repeat the owner's
    EXPECT_EQ(QFileInfo(good).permissions() & ownerGroupOther,
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    EXPECT_EQ(varnelo::test::probeAudio(good).tags.value(QStringLiteral("title")),
              QStringLiteral("Through a copy"));
    EXPECT_EQ(decodedSamples(good), decodedSamples(path(QStringLiteral("plain.mp3"))));
}

namespace {

// A WAV file with these fmt fields and a second of data.
QByteArray wavWith(quint16 format, quint16 channels, quint32 rate, quint16 bits) {
    const auto le = [](quint64 value, int bytes) {
        QByteArray out;
        for (int i = 0; i < bytes; ++i)
            out += char((value >> (8 * i)) & 0xFF);
        return out;
    };
    QByteArray fmt = le(format, 2) + le(channels, 2) + le(rate, 4) +
                     le(quint64(rate) * channels * bits / 8, 4) + le(quint16(channels * bits / 8), 2) +
                     le(bits, 2);
    const QByteArray data(8820, '\0');
    const QByteArray body = "WAVE" + QByteArray("fmt ") + le(quint64(fmt.size()), 4) + fmt + "data" +
                            le(quint64(data.size()), 4) + data;
    return "RIFF" + le(quint64(body.size()), 4) + body;
}

} // namespace

// Facts are computed in 64 bits, and a header no audio can have is reported
// as damaged rather than shown as negative numbers.
TEST_F(TagsInformation, UnbelievableHeadersAreReportedAsDamaged) {
    QByteArray wma =
        readAll(makeAudio(path(QStringLiteral("w.wma")), {QStringLiteral("-c:a"), QStringLiteral("wmav2")}));
    // The average bytes per second of the stream's WAVEFORMATEX: tag 0x0161, one channel, 44100 Hz.
    const qsizetype format = wma.indexOf(QByteArray::fromHex("6101010044ac0000"));
    ASSERT_GT(format, 0);
    wma.replace(format + 8, 4, QByteArray(4, char(0xFF)));
    const struct {
        const char *name;
        QByteArray bytes;
        const char *claim;
    } damaged[] = {
        {"rate.wav", wavWith(1, 2, 0x7FFFFFFF, 16), "a sample rate of 2147483647 Hz"},
        {"channels.wav", wavWith(1, 0xFFFF, 44100, 16), "65535 channels"},
        {"bits.wav", wavWith(1, 1, 44100, 0xFFFF), "65535 bits per sample"},
        {"rate.wma", wma, "bits per second"},
    };
    for (const auto &c : damaged) {
        const QString file = path(QString::fromLatin1(c.name));
        writeAll(file, c.bytes);
        AudioInformation info;
        try {
            info.LoadInfo(file);
            ADD_FAILURE() << c.name << " read as " << info.infoFormatString().toStdString() << ", "
                          << info.infoBitrate() << " bit/s";
        } catch (const Error &e) {
            EXPECT_TRUE(e.message().contains(QLatin1String("Damaged audio file")) &&
                        e.message().contains(QLatin1String(c.claim)))
                << c.name << ": " << e.message().toStdString();
        }
    }
    // A format tag above 0x7FFF is a tag like any other, not "WAVE format 0x-002".
    const QString extensible = path(QStringLiteral("ext.wav"));
    writeAll(extensible, wavWith(0xFFFE, 2, 48000, 24));
    AudioInformation info;
    info.LoadInfo(extensible);
    EXPECT_EQ(info.infoFormatTag(), 0xFFFE);
    EXPECT_TRUE(info.infoFormatString().startsWith(QLatin1String("PCM (extensible), ")))
        << info.infoFormatString().toStdString();
}
