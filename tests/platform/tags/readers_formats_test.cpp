#include "platform/tags/tags_fixtures.h"

#include "common/Error.h"
#include "platform/tags/TrackTagReaders.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace varnelo;
using namespace varnelo::testing;

namespace {

class Readers : public ::testing::Test {
protected:
    QString path(const QString &name) const { return dir.filePath(name); }
    QString plainMp3(const QString &name) {
        return makeAudio(path(name), {QStringLiteral("-c:a"), QStringLiteral("libmp3lame"),
                                      QStringLiteral("-id3v2_version"), QStringLiteral("0"),
                                      QStringLiteral("-write_xing"), QStringLiteral("0")});
    }
    QString mp3WithTag(const QString &name, const QByteArray &tag) {
        const QString file = plainMp3(name);
        writeAll(file, readAll(file) + tag);
        return file;
    }
    static void expectDefaults(const TrackFields &f, const QString &fileName, const QString &genre) {
        EXPECT_EQ(f.genre, genre);
        EXPECT_EQ(f.title, fileName);
        EXPECT_EQ(f.artist, QStringLiteral("Unknown Artist"));
        EXPECT_EQ(f.album, QStringLiteral("Unknown Album"));
    }
    QTemporaryDir dir;
};

TEST_F(Readers, Id3v1KeepsPaddingAndMapsGenres) {
    const QString padded =
        mp3WithTag(QStringLiteral("padded.mp3"), id3v1Tag("Padded Title", "An Artist", "An Album", 200, ' '));
    TrackFields f = ReadTrackFields(padded, QStringLiteral(".mp3"));
    EXPECT_EQ(f.title, QStringLiteral("Padded Title") + QString(18, QLatin1Char(' ')));
    EXPECT_EQ(f.artist, QStringLiteral("An Artist") + QString(21, QLatin1Char(' ')));
    EXPECT_EQ(f.genre, QStringLiteral("Other")) << "genre 200 lies beyond the table";

    const QString ended = mp3WithTag(QStringLiteral("ended.MP3"), id3v1Tag("Song", "Band", "Record", 147));
    f = ReadTrackFields(ended, QStringLiteral(".MP3"));
    EXPECT_EQ(f.title, QStringLiteral("Song"));
    EXPECT_EQ(f.artist, QStringLiteral("Band"));
    EXPECT_EQ(f.album, QStringLiteral("Record"));
    EXPECT_EQ(f.genre, QStringLiteral("SynthPop"));

    // Empty fields of a real tag still get the defaults; the genre is the tag's.
    const QString empty = mp3WithTag(QStringLiteral("empty.mp2"), id3v1Tag("", "", "", 148));
    expectDefaults(ReadTrackFields(empty, QStringLiteral(".mp2")), QStringLiteral("empty.mp2"),
                   QStringLiteral("Other"));

    // Bytes that are not UTF-8 come from the Windows code page.
    const QString legacy =
        mp3WithTag(QStringLiteral("legacy.mp3"), id3v1Tag("Caf\xE9 \x93Quoted\x94", "", "", 0));
    EXPECT_EQ(ReadId3v1Fields(legacy).title, QStringLiteral("Café “Quoted”"));
}

TEST_F(Readers, Mp3WithoutId3v1ReadsItsId3v2Tag) {
    // Tags written by an independent tool (ffmpeg), as most tools write them today.
    const auto tagged = [this](const char *name, QStringList metadata, bool v1) {
        QStringList args{QStringLiteral("-c:a"),           QStringLiteral("libmp3lame"),
                         QStringLiteral("-id3v2_version"), QStringLiteral("4"),
                         QStringLiteral("-write_id3v1"),   v1 ? QStringLiteral("1") : QStringLiteral("0")};
        for (const QString &m : metadata)
            args << QStringLiteral("-metadata") << m;
        return makeAudio(path(QLatin1String(name)), args);
    };
    struct Case {
        const char *file;
        QStringList metadata;
        bool v1;
        TrackFields want;
    };
    const QStringList full{QStringLiteral("title=Ünïcode Title longer than thirty characters"),
                           QStringLiteral("artist=V2 Artist"), QStringLiteral("album=V2 Album"),
                           QStringLiteral("genre=Ambient")};
    const Case cases[] = {
        {"v2.mp3",
         full,
         false,
         {QStringLiteral("Ambient"), QStringLiteral("Ünïcode Title longer than thirty characters"),
          QStringLiteral("V2 Artist"), QStringLiteral("V2 Album")}},
        // ID3v1 still wins when present (its title cut to 30 bytes).
        {"both.mp3",
         {QStringLiteral("title=Both Title"), QStringLiteral("artist=Both Artist"),
          QStringLiteral("album=Both Album"), QStringLiteral("genre=Jazz")},
         true,
         {QStringLiteral("Jazz"), QStringLiteral("Both Title"), QStringLiteral("Both Artist"),
          QStringLiteral("Both Album")}},
        // A v2 tag without some fields: the usual defaults for those.
        {"part.mp3",
         {QStringLiteral("artist=Only Artist")},
         false,
         {QString(), QStringLiteral("part.mp3"), QStringLiteral("Only Artist"),
          QStringLiteral("Unknown Album")}},
    };
    for (const Case &c : cases) {
        const TrackFields f = ReadTrackFields(tagged(c.file, c.metadata, c.v1), QStringLiteral(".mp3"));
        EXPECT_EQ(f.genre, c.want.genre) << c.file;
        EXPECT_EQ(f.title, c.want.title) << c.file;
        EXPECT_EQ(f.artist, c.want.artist) << c.file;
        EXPECT_EQ(f.album, c.want.album) << c.file;
    }
}

TEST_F(Readers, Id3v1WithoutTagIsDance) {
    const QString none = plainMp3(QStringLiteral("none.mp3"));
    expectDefaults(ReadTrackFields(none, QStringLiteral(".mp3")), QStringLiteral("none.mp3"),
                   QStringLiteral("Dance"));

    // Shorter than a tag: even a "TAG" at its start is not one.
    const QString tiny = path(QStringLiteral("tiny.mp3"));
    writeAll(tiny, id3v1Tag("Not Read", "x", "y", 17).left(100));
    expectDefaults(ReadTrackFields(tiny, QStringLiteral(".mp3")), QStringLiteral("tiny.mp3"),
                   QStringLiteral("Dance"));

    const QString lower =
        mp3WithTag(QStringLiteral("lower.mp3"), "tag" + id3v1Tag("Title", "A", "B", 17).mid(3));
    expectDefaults(ReadTrackFields(lower, QStringLiteral(".mp3")), QStringLiteral("lower.mp3"),
                   QStringLiteral("Dance"));

    EXPECT_THROW(ReadTrackFields(path(QStringLiteral("gone.mp3")), QStringLiteral(".mp3")), Error);
}

TEST_F(Readers, VorbisCommentsLaterWinsAndOddCommentsAreIgnored) {
    const QString file = path(QStringLiteral("c.ogg"));
    writeVorbisWithComments(file, {"artist=First", "ARTIST=Second", "TITLE=  Spaced Title \t",
                                   "Album=\xC3\x9C"
                                   "ber",
                                   "GENRE=Jazz", "genre=Jazz+Funk", "noequals", "title",
                                   "ALB\x01UM=control in name", "\xC3\xA1rtist=non-ascii name", "=nameless"});
    const TrackFields f = ReadTrackFields(file, QStringLiteral(".ogg"));
    EXPECT_EQ(f.artist, QStringLiteral("Second"));
    EXPECT_EQ(f.title, QStringLiteral("Spaced Title"));
    EXPECT_EQ(f.album, QStringLiteral("Über"));
    EXPECT_EQ(f.genre, QStringLiteral("Jazz+Funk"));

    const QString bare = path(QStringLiteral("bare.ogg"));
    writeVorbisWithComments(bare, {"only a remark"});
    expectDefaults(ReadTrackFields(bare, QStringLiteral(".OGG")), QStringLiteral("bare.ogg"), QString());
}

TEST_F(Readers, VorbisReaderRefusesOtherDataButReadsOpusInOgg) {
    const QString fake =
        makeAudio(path(QStringLiteral("fake.ogg")), {QStringLiteral("-f"), QStringLiteral("wav")});
    try {
        ReadTrackFields(fake, QStringLiteral(".ogg"));
        FAIL() << "a WAV file passed as Vorbis";
    } catch (const Error &e) {
        EXPECT_TRUE(e.message().startsWith(QStringLiteral("Cannot open ") + fake + QStringLiteral(": ")))
            << e.message().toStdString();
    }
    EXPECT_THROW(ReadTrackFields(path(QStringLiteral("gone.ogg")), QStringLiteral(".ogg")), Error);

    const QString opus =
        makeAudio(path(QStringLiteral("opus.ogg")),
                  {QStringLiteral("-c:a"), QStringLiteral("libopus"), QStringLiteral("-metadata"),
                   QStringLiteral("artist=Opus Band"), QStringLiteral("-f"), QStringLiteral("ogg")});
    EXPECT_EQ(ReadTrackFields(opus, QStringLiteral(".ogg")).artist, QStringLiteral("Opus Band"));
}

TEST_F(Readers, WmaAttributes) {
    const QString file = makeAudio(path(QStringLiteral("a.wma")),
                                   {QStringLiteral("-c:a"), QStringLiteral("wmav2"),
                                    QStringLiteral("-metadata"), QStringLiteral("title=Wma Title"),
                                    QStringLiteral("-metadata"), QStringLiteral("artist=Wma Artist"),
                                    QStringLiteral("-metadata"), QStringLiteral("album=Wma Album"),
                                    QStringLiteral("-metadata"), QStringLiteral("genre=Chanson")});
    const TrackFields f = ReadTrackFields(file, QStringLiteral(".wma"));
    EXPECT_EQ(f.title, QStringLiteral("Wma Title"));
    EXPECT_EQ(f.artist, QStringLiteral("Wma Artist"));
    EXPECT_EQ(f.album, QStringLiteral("Wma Album"));
    EXPECT_EQ(f.genre, QStringLiteral("Chanson"));

    // A file that cannot be read is no error for this reader.
    expectDefaults(ReadTrackFields(path(QStringLiteral("gone.wma")), QStringLiteral(".wma")),
                   QStringLiteral("gone.wma"), QString());
}

TEST_F(Readers, WavThroughTheInformationComponent) {
    const QString file = makeAudio(path(QStringLiteral("i.wav")),
                                   {QStringLiteral("-metadata"), QStringLiteral("title=Wav Title"),
                                    QStringLiteral("-metadata"), QStringLiteral("artist=Wav Artist"),
                                    QStringLiteral("-metadata"), QStringLiteral("album=Wav Album"),
                                    QStringLiteral("-metadata"), QStringLiteral("genre=Polka")});
    const TrackFields f = ReadTrackFields(file, QStringLiteral(".wav"));
    EXPECT_EQ(f.title, QStringLiteral("Wav Title"));
    EXPECT_EQ(f.artist, QStringLiteral("Wav Artist"));
    EXPECT_EQ(f.album, QStringLiteral("Wav Album"));
    EXPECT_EQ(f.genre, QStringLiteral("Polka"));

    const QString plain = makeAudio(path(QStringLiteral("plain.wav")),
                                    {QStringLiteral("-fflags"), QStringLiteral("+bitexact")});
    expectDefaults(ReadTrackFields(plain, QStringLiteral(".wav")), QStringLiteral("plain.wav"), QString());
    EXPECT_THROW(ReadTrackFields(path(QStringLiteral("gone.wav")), QStringLiteral(".wav")), Error);
}

TEST_F(Readers, OtherExtensionsGetDefaultsOnly) {
    const QString mp3 = mp3WithTag(QStringLiteral("tagged.mp3"), id3v1Tag("Hidden", "A", "B", 1));
    const QString file = path(QStringLiteral("tagged.ape"));
    ASSERT_TRUE(QFile::copy(mp3, file));
    expectDefaults(ReadTrackFields(file, QStringLiteral(".ape")), QStringLiteral("tagged.ape"), QString());
}

// Reading never changes a file: not its bytes, its time or its read-only mark.
TEST_F(Readers, ReadOnlyFilesStayAsTheyWere) {
    const QString mp3 = mp3WithTag(QStringLiteral("ro.mp3"), id3v1Tag("T", "A", "B", 1));
    const QString ogg = path(QStringLiteral("ro.ogg"));
    writeVorbisWithComments(ogg, {"ARTIST=x"});
    const QString wma =
        makeAudio(path(QStringLiteral("ro.wma")), {QStringLiteral("-c:a"), QStringLiteral("wmav2"),
                                                   QStringLiteral("-metadata"), QStringLiteral("title=t")});
    const QString wav =
        makeAudio(path(QStringLiteral("ro.wav")), {QStringLiteral("-metadata"), QStringLiteral("title=t")});
    for (const QString &file : {mp3, ogg, wma, wav}) {
        makeReadOnly(file);
        const FileState before = fileState(file);
        const TrackFields f = ReadTrackFields(file, QLatin1Char('.') + QFileInfo(file).suffix());
        EXPECT_FALSE(f.title.isEmpty());
        EXPECT_TRUE(fileState(file) == before) << file.toStdString();
        EXPECT_FALSE(QFileInfo(file).permissions() & QFile::WriteOwner);
    }
}

} // namespace
