#include "platform/tags/tags_fixtures.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace varnelo::testing;

namespace {

QStringList lines(const QByteArray &out) {
    return QString::fromUtf8(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

TEST(TagsCli, SetWritesAndShowPrintsEveryProperty) {
    QTemporaryDir dir;
    const QString file = makeAudio(dir.filePath(QStringLiteral("c.mp3")),
                                   {QStringLiteral("-c:a"), QStringLiteral("libmp3lame"),
                                    QStringLiteral("-id3v2_version"), QStringLiteral("0")});
    const ToolResult set = runTool(
        cliPath(), {QStringLiteral("tags"), QStringLiteral("set"), file, QStringLiteral("--title"),
                    QStringLiteral("Cli Title"), QStringLiteral("--artist"), QStringLiteral("Cli Artist"),
                    QStringLiteral("--album"), QStringLiteral("Cli Album"), QStringLiteral("--genre-number"),
                    QStringLiteral("8"), QStringLiteral("--year"), QStringLiteral("1999"),
                    QStringLiteral("--track"), QStringLiteral("12"), QStringLiteral("--comment"),
                    QStringLiteral("Nice"), QStringLiteral("--id3v1")});
    ASSERT_EQ(set.exitCode, 0) << set.err.constData();
    EXPECT_TRUE(readAll(file).right(128).startsWith("TAG"));
    EXPECT_FALSE(readAll(file).startsWith("ID3"));
    const auto probed = varnelo::test::probeAudio(file).tags;
    EXPECT_EQ(probed.value(QStringLiteral("title")), QStringLiteral("Cli Title"));
    EXPECT_EQ(probed.value(QStringLiteral("genre")), QStringLiteral("Jazz"));

    const ToolResult show = runTool(cliPath(), {QStringLiteral("tags"), QStringLiteral("show"), file});
    ASSERT_EQ(show.exitCode, 0) << show.err.constData();
    const QStringList out = lines(show.out);
    QStringList names;
    for (const QString &l : out)
        names << l.section(QStringLiteral(": "), 0, 0);
    EXPECT_EQ(names, (QStringList{QStringLiteral("infoTitle"),        QStringLiteral("infoArtist"),
                                  QStringLiteral("infoAlbum"),        QStringLiteral("infoGenre"),
                                  QStringLiteral("infoGenreS"),       QStringLiteral("infoCopyright"),
                                  QStringLiteral("infoComments"),     QStringLiteral("infoYear"),
                                  QStringLiteral("infoTrack"),        QStringLiteral("infoComposer"),
                                  QStringLiteral("infoURL"),          QStringLiteral("infoEncodedBy"),
                                  QStringLiteral("infoFormatString"), QStringLiteral("infoFrequency"),
                                  QStringLiteral("infoBitrate"),      QStringLiteral("infoDuration"),
                                  QStringLiteral("infoChannels"),     QStringLiteral("infoSamples"),
                                  QStringLiteral("infoSize"),         QStringLiteral("infoBitsPerSample"),
                                  QStringLiteral("infoFormatTag")}));
    EXPECT_TRUE(out.contains(QStringLiteral("infoTitle: Cli Title")));
    EXPECT_TRUE(out.contains(QStringLiteral("infoGenre: 8")));
    EXPECT_TRUE(out.contains(QStringLiteral("infoGenreS: Jazz")));
    EXPECT_TRUE(out.contains(QStringLiteral("infoYear: 1999")));
    EXPECT_TRUE(out.contains(QStringLiteral("infoTrack: 12")));
    EXPECT_TRUE(out.contains(QStringLiteral("infoComments: Nice")));
    EXPECT_TRUE(out.contains(QStringLiteral("infoFrequency: 44100")));
    EXPECT_TRUE(out.contains(QStringLiteral("infoSize: %1").arg(QFileInfo(file).size())));

    // Changing one field keeps the others.
    ASSERT_EQ(runTool(cliPath(), {QStringLiteral("tags"), QStringLiteral("set"), file,
                                  QStringLiteral("--album"), QStringLiteral("Other Album")})
                  .exitCode,
              0);
    const QStringList after =
        lines(runTool(cliPath(), {QStringLiteral("tags"), QStringLiteral("show"), file}).out);
    EXPECT_TRUE(after.contains(QStringLiteral("infoAlbum: Other Album")));
    EXPECT_TRUE(after.contains(QStringLiteral("infoArtist: Cli Artist")));
}

TEST(TagsCli, FlacOpusAndM4aTagsAreShownReadAndWritten) {
    QTemporaryDir dir;
    struct Case {
        const char *name;
        const char *codec;
        const char *format; // how infoFormatString begins
        int rate;
    };
    const Case cases[] = {{"t.flac", "flac", "FLAC", 44100},
                          {"t.opus", "libopus", "Ogg Opus", 48000},
                          {"t.m4a", "aac", "AAC", 44100}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = makeAudio(
            dir.filePath(QString::fromLatin1(c.name)),
            {QStringLiteral("-ar"), QString::number(c.rate), QStringLiteral("-c:a"),
             QString::fromLatin1(c.codec), QStringLiteral("-metadata"), QStringLiteral("title=Tag Title"),
             QStringLiteral("-metadata"), QStringLiteral("artist=Tag Artist"), QStringLiteral("-metadata"),
             QStringLiteral("album=Tag Album"), QStringLiteral("-metadata"), QStringLiteral("genre=Jazz")});
        const ToolResult show = runTool(cliPath(), {QStringLiteral("tags"), QStringLiteral("show"), file});
        ASSERT_EQ(show.exitCode, 0) << show.err.constData();
        const QStringList out = lines(show.out);
        for (const char *line : {"infoTitle: Tag Title", "infoArtist: Tag Artist", "infoAlbum: Tag Album",
                                 "infoGenre: 8", "infoGenreS: Jazz"})
            EXPECT_TRUE(out.contains(QLatin1String(line))) << line;
        EXPECT_TRUE(out.contains(QStringLiteral("infoFrequency: %1").arg(c.rate)));
        EXPECT_TRUE(out.filter(QStringLiteral("infoFormatString: ") + QLatin1String(c.format)).size() == 1)
            << out.join(QLatin1Char('\n')).toStdString();

        const ToolResult read = runTool(cliPath(), {QStringLiteral("tags"), QStringLiteral("read"), file});
        EXPECT_EQ(QString::fromUtf8(read.out),
                  QStringLiteral("Genre: Jazz\nTitle: Tag Title\nArtist: Tag Artist\nAlbum: Tag Album\n"));

        ASSERT_EQ(runTool(cliPath(), {QStringLiteral("tags"), QStringLiteral("set"), file,
                                      QStringLiteral("--title"), QStringLiteral("New Ü")})
                      .exitCode,
                  0);
        const auto probed = varnelo::test::probeAudio(file);
        EXPECT_EQ(probed.title, QStringLiteral("New Ü"));
        EXPECT_EQ(probed.artist, QStringLiteral("Tag Artist"));
        EXPECT_NEAR(probed.playable(), 1.0, 0.05);
    }
}

TEST(TagsCli, UsageErrorsAndFailures) {
    QTemporaryDir dir;
    const QString file = makeAudio(dir.filePath(QStringLiteral("u.ogg")),
                                   {QStringLiteral("-c:a"), QStringLiteral("libvorbis")});
    const QByteArray before = readAll(file);
    auto rc = [&](const QStringList &args) {
        return runTool(cliPath(), QStringList{QStringLiteral("tags")} + args).exitCode;
    };
    EXPECT_EQ(rc({}), 2);
    EXPECT_EQ(rc({QStringLiteral("show")}), 2);
    EXPECT_EQ(rc({QStringLiteral("frob"), file}), 2);
    EXPECT_EQ(rc({QStringLiteral("set"), file}), 2) << "nothing to write";
    EXPECT_EQ(rc({QStringLiteral("set"), file, QStringLiteral("--genre-number"), QStringLiteral("148")}), 2);
    EXPECT_EQ(rc({QStringLiteral("set"), file, QStringLiteral("--year"), QStringLiteral("soon")}), 2);
    EXPECT_EQ(rc({QStringLiteral("set"), file, QStringLiteral("--title"), QStringLiteral("x"),
                  QStringLiteral("--id3v1"), QStringLiteral("--id3v2")}),
              2);
    EXPECT_EQ(rc({QStringLiteral("set"), file, QStringLiteral("--colour"), QStringLiteral("red")}), 2);
    EXPECT_EQ(readAll(file), before) << "a refused command wrote the file";

    const QString missing = dir.filePath(QStringLiteral("none.mp3"));
    const ToolResult show = runTool(cliPath(), {QStringLiteral("tags"), QStringLiteral("show"), missing});
    EXPECT_EQ(show.exitCode, 1);
    EXPECT_TRUE(QString::fromUtf8(show.err).contains(missing));
    makeReadOnly(file);
    EXPECT_EQ(rc({QStringLiteral("set"), file, QStringLiteral("--title"), QStringLiteral("x")}), 1);
    EXPECT_EQ(readAll(file), before);
}

} // namespace
