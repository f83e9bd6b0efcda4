#include "platform/tags/tags_fixtures.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace varnelo::testing;

namespace {

TEST(ReadersCli, PrintsOneBlockPerFileAndGoesOnAfterAFailure) {
    QTemporaryDir dir;
    const QString mp3 = makeAudio(dir.filePath(QStringLiteral("Song.MP3")),
                                  {QStringLiteral("-c:a"), QStringLiteral("libmp3lame"),
                                   QStringLiteral("-id3v2_version"), QStringLiteral("0")});
    writeAll(mp3, readAll(mp3) + id3v1Tag("Cli Title", "Cli Artist", "", 64));
    const QString ogg = dir.filePath(QStringLiteral("c.ogg"));
    writeVorbisWithComments(ogg, {"ALBUM=Cli Album"});
    const QString missing = dir.filePath(QStringLiteral("missing.wav"));

    const ToolResult r =
        runTool(cliPath(), {QStringLiteral("tags"), QStringLiteral("read"), mp3, missing, ogg});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(QString::fromUtf8(r.out),
              QStringLiteral("Genre: Native US\nTitle: Cli Title\nArtist: Cli Artist\nAlbum: Unknown Album\n"
                             "\n"
                             "Genre: \nTitle: c.ogg\nArtist: Unknown Artist\nAlbum: Cli Album\n"));
    EXPECT_TRUE(QString::fromUtf8(r.err).contains(missing));

    const ToolResult ok = runTool(cliPath(), {QStringLiteral("tags"), QStringLiteral("read"), ogg});
    EXPECT_EQ(ok.exitCode, 0);
    EXPECT_EQ(runTool(cliPath(), {QStringLiteral("tags"), QStringLiteral("read")}).exitCode, 2);
}

} // namespace
