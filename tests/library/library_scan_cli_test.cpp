#include "library_fixtures.h"
#include "support/Cli.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

using namespace varnelo;
using namespace varnelo::test;

namespace {

// Rewrites the ID3v1 tag at the end of an encoded MP3.
void retag(const QString &path, const QByteArray &title, const QByteArray &artist, const QByteArray &album) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.seek(f.size() - 128));
    f.write(id3v1Tail(title, artist, album, 17));
}

class ScanCliTest : public LibraryFixture {
protected:
    void SetUp() override {
        LibraryFixture::SetUp();
        // scripts/bootstrap.sh installs them: a missing one fails, it does not skip.
        ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("lame")).isEmpty() ||
                     QStandardPaths::findExecutable(QStringLiteral("sox")).isEmpty())
            << "lame and sox make the fixtures (scripts/bootstrap.sh installs them)";
        // One real encoded file with an ID3v1 tag; the others are copies retagged.
        const QString wav = dir.filePath(QStringLiteral("tone.wav"));
        ASSERT_EQ(QProcess::execute(QStringLiteral("sox"),
                                    {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"),
                                     QStringLiteral("-c"), QStringLiteral("1"), wav, QStringLiteral("synth"),
                                     QStringLiteral("0.2"), QStringLiteral("sine"), QStringLiteral("440")}),
                  0);
        source = dir.filePath(QStringLiteral("tone.mp3"));
        ASSERT_EQ(QProcess::execute(QStringLiteral("lame"),
                                    {QStringLiteral("--quiet"), QStringLiteral("--id3v1-only"),
                                     QStringLiteral("--tt"), QStringLiteral("Tone"), QStringLiteral("--ta"),
                                     QStringLiteral("Ann"), QStringLiteral("--tl"), QStringLiteral("First"),
                                     QStringLiteral("--tg"), QStringLiteral("Rock"), wav, source}),
                  0);
    }
    void copyAs(const QString &name, const QByteArray &title, const QByteArray &artist,
                const QByteArray &album) {
        QFile::copy(source, mediaFile(name));
        retag(mediaFile(name), title, artist, album);
    }
    QString source;
};

} // namespace

TEST_F(ScanCliTest, ScansTheFolderIntoMusicFileAndTree) {
    QFile::copy(source, mediaFile(QStringLiteral("tone.mp3")));
    copyAs(QStringLiteral("b.MP3"), "Bee", "Bob", "Second");
    copyAs(QStringLiteral("c.Mp3"), "Skipped", "Nobody", "None");
    QDir().mkpath(mediaFile(QStringLiteral("sub")));
    QFile::copy(source, mediaFile(QStringLiteral("sub/deep.mp3")));
    const QString dataFolder = dir.filePath(QStringLiteral("fresh"));

    CliResult r = runCli({QStringLiteral("scan"), QStringLiteral("--data-folder"), dataFolder, media()});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("read 3 files, added 3 records\n"));

    const DataFolder fresh(dataFolder);
    std::vector<LibraryRecord> stored;
    for (const QByteArray &b : libraryFile(fresh.file(QStringLiteral("music.dat"))).readAll())
        stored.push_back(LibraryRecord::fromBytes(b));
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[2].Path, mediaFile(QStringLiteral("sub/deep.mp3")));
    EXPECT_EQ(stored[0], track(QStringLiteral("Bee"), QStringLiteral("Bob"), QStringLiteral("Second"),
                               mediaFile(QStringLiteral("b.MP3"))));
    EXPECT_EQ(stored[1], track(QStringLiteral("Tone"), QStringLiteral("Ann"), QStringLiteral("First"),
                               mediaFile(QStringLiteral("tone.mp3"))));

    LibraryCatalogue loaded(fresh);
    loaded.LoadLibraryTree(fresh.file(QStringLiteral("tt.txt")));
    EXPECT_EQ(loaded.absoluteIndex(loaded.root(LibraryCatalogue::MyArtistRoot)), 29);
    EXPECT_EQ(loaded.root(LibraryCatalogue::MyArtistRoot)->rowCount(), 2);
    EXPECT_EQ(loaded.root(LibraryCatalogue::MyAlbumRoot)->child(1)->text(), QStringLiteral("First"));

    // A second scan finds every Path known, and an empty tt.txt from an
    // earlier start-up is restored rather than emptied.
    writeBytes(fresh.file(QStringLiteral("tt.txt")), {});
    r = runCli({QStringLiteral("scan"), QStringLiteral("--data-folder"), dataFolder,
                QStringLiteral("--no-subfolders"), media()});
    EXPECT_EQ(r.out, QStringLiteral("read 2 files, added 0 records\n"));
    EXPECT_TRUE(
        readBytes(fresh.file(QStringLiteral("tt.txt"))).startsWith("Now Playing\r\nAll Title\r\n\tA\r\n"));
}

TEST_F(ScanCliTest, MissingFolderFailsWithAMessage) {
    const CliResult r = runCli({QStringLiteral("scan"), QStringLiteral("--data-folder"),
                                dir.filePath(QStringLiteral("d")), dir.filePath(QStringLiteral("nowhere"))});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("nowhere")));
}

TEST_F(ScanCliTest, TagsReadPrintsValuesCutAsARecordStoresThem) {
    copyAs(QStringLiteral("long.mp3"), "T", "A", "B");
    // Genre 1 is "Classic Rock": twelve characters, two more than the record holds.
    QFile f(mediaFile(QStringLiteral("long.mp3")));
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.seek(f.size() - 1));
    f.write("\x01");
    f.close();
    const CliResult r =
        runCli({QStringLiteral("tags"), QStringLiteral("read"), mediaFile(QStringLiteral("long.mp3"))});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("Genre: Classic Ro\nTitle: T\nArtist: A\nAlbum: B\n"));
}

TEST_F(ScanCliTest, FlacOpusAndM4aFilesAreScannedWithTheirTags) {
    const QStringList names{QStringLiteral("a.flac"), QStringLiteral("b.opus"), QStringLiteral("c.m4a")};
    for (const QString &name : names)
        ASSERT_EQ(QProcess::execute(QStringLiteral("ffmpeg"),
                                    {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"),
                                     source, QStringLiteral("-metadata"), QStringLiteral("title=") + name,
                                     mediaFile(name)}),
                  0);
    const QString data = dir.filePath(QStringLiteral("fresh"));
    const CliResult r = runCli({QStringLiteral("scan"), QStringLiteral("--data-folder"), data, media()});
    EXPECT_EQ(r.out, QStringLiteral("read 3 files, added 3 records\n")) << r.err.toStdString();
    const auto stored = libraryFile(DataFolder(data).file(QStringLiteral("music.dat"))).readAll();
    ASSERT_EQ(stored.size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(LibraryRecord::fromBytes(stored[i]),
                  track(names[i], QStringLiteral("Ann"), QStringLiteral("First"), mediaFile(names[i])));
}
