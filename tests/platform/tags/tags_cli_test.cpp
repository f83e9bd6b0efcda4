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
    for (const auto &[name, format, rate] :
         {std::tuple("t.flac", "FLAC", 44100), std::tuple("t.opus", "Ogg Opus", 48000),
          std::tuple("t.m4a", "AAC", 44100)}) {
        SCOPED_TRACE(name);
        QStringList args{QStringLiteral("-ar"), QString::number(rate)};
        for (const char *tag : {"title=Tag Title", "artist=Tag Artist", "album=Tag Album", "genre=Jazz"})
            args << QStringLiteral("-metadata") << QLatin1String(tag);
        const QString file = makeAudio(dir.filePath(QLatin1String(name)), args);
        const QStringList show =
            lines(runTool(cliPath(), {QStringLiteral("tags"), QStringLiteral("show"), file}).out);
        for (const QString &line :
             {QStringLiteral("infoTitle: Tag Title"), QStringLiteral("infoArtist: Tag Artist"),
              QStringLiteral("infoAlbum: Tag Album"), QStringLiteral("infoGenre: 8"),
              QStringLiteral("infoFrequency: %1").arg(rate)})
            EXPECT_TRUE(show.contains(line)) << line.toStdString();
        EXPECT_EQ(show.filter(QStringLiteral("infoFormatString: ") + QLatin1String(format)).size(), 1);
        EXPECT_EQ(runTool(cliPath(), {QStringLiteral("tags"), QStringLiteral("read"), file}).out,
                  "Genre: Jazz\nTitle: Tag Title\nArtist: Tag Artist\nAlbum: Tag Album\n");
        ASSERT_EQ(runTool(cliPath(), {QStringLiteral("tags"), QStringLiteral("set"), file,
                                      QStringLiteral("--title"), QStringLiteral("New Ü")})
                      .exitCode,
                  0);
        const auto probed = varnelo::test::probeAudio(file);
        EXPECT_EQ(probed.title + probed.artist, QStringLiteral("New ÜTag Artist"));
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
    EXPECT_EQ(
        rc({QStringLiteral("set"), file, QStringLiteral("--cover"), file, QStringLiteral("--remove-cover")}),
        2);
    EXPECT_EQ(rc({QStringLiteral("set"), file, QStringLiteral("--cover"), file}), 1) << "not an image";
    EXPECT_EQ(readAll(file), before) << "a refused command wrote the file";

    const QString missing = dir.filePath(QStringLiteral("none.mp3"));
    const ToolResult show = runTool(cliPath(), {QStringLiteral("tags"), QStringLiteral("show"), missing});
    EXPECT_EQ(show.exitCode, 1);
    EXPECT_TRUE(QString::fromUtf8(show.err).contains(missing));
    makeReadOnly(file);
    EXPECT_EQ(rc({QStringLiteral("set"), file, QStringLiteral("--title"), QStringLiteral("x")}), 1);
    EXPECT_EQ(readAll(file), before);
}

using L = QLatin1String;

// The first picture python3-mutagen (a reader independent of TagLib) finds in a file.
QByteArray mutagenCover(const QString &file) {
    const char *script = R"(import sys, base64, mutagen
from mutagen.flac import Picture
f = mutagen.File(sys.argv[1]); t = f.tags
g = lambda k: (t[k] if t is not None and k in t else [])
def asf(b, i=5):  # type, size, then MIME and description in UTF-16 ending in a 0 unit
    for _ in (0, 1):
        while b[i:i + 2] != b'\0\0': i += 2
        i += 2
    return b[i:]
p = [x.data for x in getattr(f, 'pictures', [])] + [bytes(c) for c in g('covr')]
p += [Picture(base64.b64decode(v)).data for v in g('metadata_block_picture')] + [asf(v.value) for v in g('WM/Picture')]
p += [x.data for x in (t.getall('APIC') if hasattr(t, 'getall') else [])]
sys.stdout.buffer.write(p[0] if p else b''))";
    const ToolResult r = runTool(L("/usr/bin/python3"), {L("-c"), L(script), file});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    return r.out;
}

TEST(TagsCli, CoversReadBackByAnIndependentReaderWithTheAudioUnchanged) {
    QTemporaryDir dir;
    const QString jpeg = dir.filePath(L("c.jpg")), png = dir.filePath(L("c.png"));
    for (const auto &[image, size] : {std::pair(jpeg, "320x240"), std::pair(png, "64x48")})
        ASSERT_EQ(runTool(L("ffmpeg"), {L("-loglevel"), L("error"), L("-f"), L("lavfi"), L("-i"),
                                        L("testsrc=size=") + L(size), L("-frames:v"), L("1"), image})
                      .exitCode,
                  0);
    const auto decoded = [](const QString &file) {
        return runTool(L("ffmpeg"), {L("-i"), file, L("-map"), L("0:a"), L("-f"), L("md5"), L("-")}).out;
    };
    // A second cover replaces the first; removing leaves none.
    using Step = std::tuple<QStringList, QString, const char *>;
    const Step steps[] = {{{L("--cover"), png}, png, "cover: 64x48 image/png"},
                          {{L("--cover"), jpeg}, jpeg, "cover: 320x240 image/jpeg"},
                          {{L("--remove-cover")}, QString(), nullptr}};
    for (const auto &[suffix, codec] :
         {std::pair("mp3", "libmp3lame"), std::pair("flac", "flac"), std::pair("ogg", "libvorbis"),
          std::pair("opus", "libopus"), std::pair("m4a", "aac"), std::pair("wma", "wmav2")}) {
        SCOPED_TRACE(suffix);
        const QString file = makeAudio(dir.filePath(L("a.") + L(suffix)), {L("-c:a"), L(codec)});
        const QByteArray audio = decoded(file);
        for (const auto &[change, image, shown] : steps) {
            const ToolResult set = runTool(cliPath(), QStringList{L("tags"), L("set"), file} + change);
            ASSERT_EQ(set.exitCode, 0) << set.err.constData();
            EXPECT_EQ(mutagenCover(file), image.isEmpty() ? QByteArray() : readAll(image));
            EXPECT_EQ(decoded(file), audio);
            const QByteArray show = runTool(cliPath(), {L("tags"), L("show"), file}).out;
            EXPECT_EQ(show.count("\ncover: "), shown ? 1 : 0);
            EXPECT_TRUE(!shown || show.contains(QByteArray("\n") + shown + "\n")) << show.constData();
        }
    }
}

} // namespace
