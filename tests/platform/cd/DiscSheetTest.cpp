// Our reader of cue sheets and cdrdao tables of contents: real sheets of other
// projects' test data (sheets/README.md) with what those projects assert of
// them, malformed sheets, and the samples read through a sheet's files.
#include "platform/cd/DiscSheet.h"
#include "support/DiscImage.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace varnelo;
using namespace varnelo::cd;
using namespace varnelo::test;

namespace {

QByteArray sheetBytes(const char *name) {
    QFile f(QStringLiteral(VARNELO_SOURCE_DIR "/tests/platform/cd/sheets/") + QLatin1String(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name;
    return f.readAll();
}

// The data files of the sheets are not kept: each is as long as the sheet
// needs (80 minutes), but for libcdio's cdda.bin, whose size its tests rely on.
SheetResult parseKept(const char *name) {
    const FileProbe probe = [](const QString &file, bool, QString &) {
        ProbedFile p;
        p.path = file;
        const bool cdda = file.compare(QLatin1String("cdda.bin"), Qt::CaseInsensitive) == 0;
        p.bytes = cdda ? 710304 : qint64(80) * 60 * 75 * SectorBytes;
        p.frames = p.bytes / 4;
        return std::optional<ProbedFile>(p);
    };
    const QString n = QString::fromLatin1(name);
    return n.endsWith(QLatin1String(".cue")) ? parseCueSheet(sheetBytes(name), n, probe)
                                             : parseTocFile(sheetBytes(name), n, probe);
}

using Pairs = std::vector<std::pair<int, qint32>>; // track number, sectors

QString writeFile(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path;
}

QByteArray noise(int sectors, quint32 seed) {
    QByteArray b(qsizetype(sectors) * SectorBytes, Qt::Uninitialized);
    for (char &c : b) {
        seed = seed * 1664525u + 1013904223u;
        c = char(seed >> 24);
    }
    return b;
}

QByteArray swapped(QByteArray b) {
    for (qsizetype i = 0; i + 1 < b.size(); i += 2)
        std::swap(b[i], b[i + 1]);
    return b;
}

QByteArray wav(const QByteArray &pcm) {
    QByteArray h("RIFF....WAVEfmt \x10\0\0\0\x01\0\x02\0\x44\xac\0\0\x10\xb1\x02\0\x04\0\x10\0data....", 44);
    qToLittleEndian<quint32>(quint32(36 + pcm.size()), h.data() + 4);
    qToLittleEndian<quint32>(quint32(pcm.size()), h.data() + 40);
    return h + pcm;
}

// Everything a sheet's samples read to, as little-endian bytes.
QByteArray readAll(const DiscSheet &sheet) {
    SheetSamples samples(sheet);
    std::vector<qint16> buffer(std::size_t(sheet.toc.leadout) * 1176);
    EXPECT_EQ(samples.read(0, sheet.toc.leadout, buffer.data()), sheet.toc.leadout)
        << samples.error().toStdString();
    QByteArray out(qsizetype(buffer.size()) * 2, Qt::Uninitialized);
    qToLittleEndian<qint16>(buffer.data(), qsizetype(buffer.size()), out.data());
    return out;
}

std::vector<qint32> starts(const DiscToc &toc) {
    std::vector<qint32> s;
    for (const TocTrack &t : toc.tracks)
        s.push_back(t.start);
    return s;
}

} // namespace

TEST(DiscSheet, RealSheetsGiveTheTablesAndIdsTheirProjectsAssert) {
    struct Case {
        const char *file;
        int tracks;
        Pairs starts;  // INDEX 01
        Pairs pregaps; // INDEX 00
        Pairs lengths;
        const char *cddb = "";
        const char *accurateRip = "";
        const char *musicBrainz = "";
        qint32 leadout = -1;
        const char *title = "", *performer = "", *trackTitle = "", *trackPerformer = "", *catalog = "";
    };
    const Case cases[] = {
        {"cure.toc",
         13,
         {{1, 0}, {2, 28324}, {3, 46110}, {4, 66767}},
         {{2, 28245}},
         {{1, 28324}},
         "",
         "3/c/4/dBAR-013-0019d4c3-00fe8924-b90c650d.bin"},
        {"bloc.toc",
         13,
         {{1, 15220}, {5, 84142}},
         {{1, 0}, {5, 84070}},
         {{1, 19649}},
         "ad0be00d",
         "e/d/2/dBAR-013-001af2de-0105994e-ad0be00d.bin"},
        {"breeders.toc",
         13,
         {{1, 0}},
         {},
         {},
         "",
         "",
         "",
         -1,
         "MOUNTAIN BATTLES",
         "THE BREEDERS",
         "OVERGLAZED"},
        {"ladyhawke.toc",
         13,
         {{2, 15537}, {12, 177682}, {13, 207106}},
         {},
         {},
         "c60af50d",
         "",
         "KnpGsLhvH.lPrNc1PBL21lb9Bg4-",
         210385},
        {"jose.toc", 10, {}, {}, {{1, 12001}}, "", "", "", -1, "", "", "", "Jos\u00e9 Gonz\u00e1lez"},
        {"totbl.fast.toc", 11, {}, {}, {}, "810b7b0b"},
        {"gentlemen.fast.toc", 11, {}, {}, {}, "810b7b0b"},
        {"strokes-someday.toc", 1, {{1, 1}}, {{1, 0}}, {}},
        {"surferrosa.toc", 21, {{1, 32}, {11, 111257}}, {{1, 0}}, {}},
        {"kings-single.cue", 11, {}, {}, {{1, 17811}}},
        {"kings-separate.cue", 11, {{1, 0}}, {}, {}},
        {"kanye.cue", 13, {{1, 0}}, {}, {}},
        {"libcdio-cdda.cue",
         1,
         {{1, 0}},
         {},
         {{1, 302}},
         "",
         "",
         "",
         302,
         "Join us now we have the software",
         "Richard Stallman",
         "Soft",
         "Richard S",
         "0000010271955"},
        {"libcdio-cdda.toc", 1, {{1, 0}}, {}, {{1, 25}}},
        {"libcdio-cdtext.toc",
         1,
         {{1, 0}},
         {},
         {{1, 4500}},
         "",
         "",
         "",
         4500,
         "CD Title",
         "Performer",
         "Track Title",
         "Performer"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        const SheetResult r = parseKept(c.file);
        ASSERT_TRUE(r.sheet) << r.error.toStdString();
        const DiscSheet &s = *r.sheet;
        ASSERT_EQ(int(s.toc.tracks.size()), c.tracks);
        const auto track = [&](int n) { return std::size_t(n - 1); };
        for (const auto &[n, v] : c.starts)
            EXPECT_EQ(s.toc.tracks[track(n)].start, v) << "start of " << n;
        for (const auto &[n, v] : c.pregaps)
            EXPECT_EQ(s.info[track(n)].pregapStart, v) << "INDEX 00 of " << n;
        for (const auto &[n, v] : c.lengths)
            EXPECT_EQ(s.toc.tracks[track(n)].sectors, v) << "length of " << n;
        if (*c.cddb) {
            EXPECT_EQ(CddbDiscId(s.toc), QLatin1String(c.cddb));
        }
        if (*c.accurateRip) {
            EXPECT_EQ(accurateRipPath(accurateRipIds(s.toc)), QLatin1String(c.accurateRip));
        }
        if (*c.musicBrainz) {
            EXPECT_EQ(MusicBrainzDiscId(s.toc), QLatin1String(c.musicBrainz));
        }
        if (c.leadout >= 0) {
            EXPECT_EQ(s.toc.leadout, c.leadout);
        }
        const auto same = [](const QString &ours, const char *theirs) {
            if (*theirs) {
                EXPECT_EQ(ours, QString::fromUtf8(theirs));
            }
        };
        same(s.toc.title, c.title);
        same(s.toc.performer, c.performer);
        same(s.toc.tracks[0].title, c.trackTitle);
        same(s.toc.tracks[0].performer, c.trackPerformer);
        same(s.catalog, c.catalog);
    }
    // Surfer Rosa's track 11 has an INDEX 02, 3370 sectors after its INDEX 01.
    const SheetResult surfer = parseKept("surferrosa.toc");
    ASSERT_TRUE(surfer.sheet);
    EXPECT_EQ(surfer.sheet->info[10].indexes, std::vector<qint32>{111257 + 3370});
}

TEST(DiscSheet, MalformedSheetsGiveAMessageNamingTheLine) {
    QByteArray hundred = "FILE \"a.bin\" BINARY\n";
    for (int i = 1; i <= 100; ++i)
        hundred += QStringLiteral("TRACK %1 AUDIO\nINDEX 01 00:%2:00\n")
                       .arg(i)
                       .arg(i % 60, 2, 10, QLatin1Char('0'))
                       .toLatin1();
    struct Case {
        const char *name;
        QByteArray text; // empty: the kept sheet of that name
        const char *says;
    };
    const Case cases[] = {
        {"libcdio-bad-cat1.cue", {}, "line 4"},
        {"libcdio-bad-cat2.toc", {}, "line 4"},
        {"libcdio-bad-cat3.cue", {}, "line 4"},
        {"libcdio-bad-mode1.cue", {}, "line 6"},
        {"libcdio-bad-mode1.toc", {}, "line 4"},
        {"libcdio-bad-msf-1.cue", {}, "line 7"},
        {"libcdio-bad-msf-2.toc", {}, "line 6"},
        {"libcdio-bad-msf-3.toc", {}, "line 6"},
        {"libcdio-bad-file.toc", {}, "line 8"},
        {"hundred.cue", hundred, "line 200: track number 100"},
        {"index0.cue", "FILE \"a.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 00 00:00:00\n",
         "line 2: track 1 has no INDEX 01"},
        {"past.cue",
         "FILE \"a.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:09:00\n",
         "line 5: the index lies past the end"},
        {"cut.cue", "FILE \"cut.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n",
         "line 1: cut.bin ends inside a sector"},
        {"cut.toc", "CD_DA\nTRACK AUDIO\nFILE \"a.bin\" 0 00:09:00\n",
         "line 3: a.bin is shorter than the table says"},
        {"string.toc", "CD_DA\nCD_TEXT {\n LANGUAGE 0 {\n  TITLE \"x\n", "line 4: a string is not closed"},
        {"block.toc", "CD_DA\nCD_TEXT {\n LANGUAGE 0 {\n", "line 4: A CD-Text item expected"},
        {"odd.toc", "CD_DA\nTRACK AUDIO\nSILENCE 1000\n",
         "line 2: the track is not a whole number of sectors"},
        {"empty.cue", "REM nothing\n", "the sheet has no tracks"},
    };
    // a.bin is 5 seconds long; cut.bin one byte short of that.
    const FileProbe probe = [](const QString &file, bool, QString &) {
        ProbedFile p;
        p.path = file;
        p.bytes = 5 * 75 * SectorBytes - (file == QLatin1String("cut.bin") ? 1 : 0);
        p.frames = p.bytes / 4;
        return std::optional<ProbedFile>(p);
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString name = QString::fromLatin1(c.name);
        const QByteArray text = c.text.isEmpty() ? sheetBytes(c.name) : c.text;
        const SheetResult r = name.endsWith(QLatin1String(".cue")) ? parseCueSheet(text, name, probe)
                                                                   : parseTocFile(text, name, probe);
        EXPECT_FALSE(r.sheet);
        EXPECT_TRUE(r.error.startsWith(name)) << r.error.toStdString();
        EXPECT_TRUE(r.error.contains(QLatin1String(c.says))) << r.error.toStdString();
    }
    // A byte-order mark before the first line is no fault, in a cue sheet as in a toc file.
    const SheetResult bom = parseCueSheet(
        "\xef\xbb\xbfTITLE \"B\xc3\xb6m\"\nFILE \"a.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n",
        QStringLiteral("bom.cue"), probe);
    ASSERT_TRUE(bom.sheet) << bom.error.toStdString();
    EXPECT_EQ(bom.sheet->toc.title, QStringLiteral("B\u00f6m"));
}

// Several files of every kind, gaps of silence, names in another case and
// text in an 8-bit code page: the samples are the files' own, in disc order.
TEST(DiscSheet, CueSheetSamplesComeFromEveryFileInOrder) {
    QTemporaryDir dir;
    const QByteArray one = noise(100, 1), two = noise(50, 2),
                     three = noise(31, 3).left(30 * SectorBytes + 400), four = noise(40, 4);
    writeFile(dir.filePath(QStringLiteral("one.bin")), one);
    writeFile(dir.filePath(QStringLiteral("two.raw")), swapped(two));
    writeFile(dir.filePath(QStringLiteral("three.wav")), wav(three));
    writeFile(dir.filePath(QStringLiteral("four.wav")), wav(four));
    ASSERT_EQ(
        runProgram(QStringLiteral("ffmpeg"),
                   {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"),
                    dir.filePath(QStringLiteral("four.wav")), dir.filePath(QStringLiteral("four.flac"))}),
        0);
    const QByteArray cue =
        "REM made by hand\n"
        "TITLE \"Caf\xe9\"\n"
        "FILE \"ONE.BIN\" BINARY\n"
        "  TRACK 01 AUDIO\n    FLAGS DCP PRE\n    INDEX 01 00:00:00\n"
        "  TRACK 02 AUDIO\n    ISRC GBAAA0000001\n    INDEX 00 00:01:00\n    INDEX 01 00:01:10\n"
        "FILE two.raw MOTOROLA\n"
        "  TRACK 03 AUDIO\n    PREGAP 00:00:05\n    INDEX 01 00:00:00\n    POSTGAP 00:00:03\n"
        "FILE \"three.wav\" WAVE\n  TRACK 04 AUDIO\n    INDEX 01 00:00:00\n"
        "FILE \"four.flac\" FLAC\n  TRACK 05 AUDIO\n    INDEX 01 00:00:00\n";
    const SheetResult r = readDiscSheet(writeFile(dir.filePath(QStringLiteral("disc.cue")), cue));
    ASSERT_TRUE(r.sheet) << r.error.toStdString();
    const DiscSheet &s = *r.sheet;
    EXPECT_EQ(s.toc.title, QStringLiteral("Caf\u00e9"));
    EXPECT_EQ(starts(s.toc), (std::vector<qint32>{0, 85, 105, 158, 189}));
    EXPECT_EQ(s.toc.leadout, 229);
    EXPECT_EQ(s.info[1].pregapStart, 75);
    EXPECT_EQ(s.info[2].pregapStart, 100);
    EXPECT_TRUE(s.info[0].preEmphasis && s.info[0].copyPermitted);
    EXPECT_EQ(s.info[1].isrc, QStringLiteral("GBAAA0000001"));
    const QByteArray expected = one + QByteArray(5 * SectorBytes, '\0') + two +
                                QByteArray(3 * SectorBytes, '\0') + three +
                                QByteArray(SectorBytes - 400, '\0') + four;
    EXPECT_TRUE(readAll(s) == expected);
}

TEST(DiscSheet, TocSamplesHonourByteOrderSilenceAndDataTracks) {
    QTemporaryDir dir;
    const QByteArray big = noise(20, 5), little = noise(10, 6), wave = noise(8, 7);
    writeFile(dir.filePath(QStringLiteral("big.raw")), QByteArray(100, 'x') + swapped(big));
    writeFile(dir.filePath(QStringLiteral("little.raw")), little);
    writeFile(dir.filePath(QStringLiteral("w.wav")), wav(wave));
    writeFile(dir.filePath(QStringLiteral("data.iso")), QByteArray(7 * 2048, 'd'));
    const QByteArray toc =
        "CD_ROM\nCATALOG \"1234567890123\"\n"
        "CD_TEXT { LANGUAGE_MAP { 0 : EN }\n LANGUAGE 0 { TITLE \"Jos\\351\" SIZE_INFO { 1, 2,\n 3 } } }\n"
        "TRACK MODE1\nDATAFILE \"data.iso\"\n"
        "TRACK AUDIO\nPREGAP 00:00:02\nFILE \"big.raw\" #100 0 00:00:20 // samples as on the disc\n"
        "TRACK AUDIO\nSILENCE 588\nSTART\nAUDIOFILE \"little.raw\" SWAP 0\nZERO 00:00:01\n"
        "TRACK AUDIO\nFILE \"W.WAV\" 00:00:02\n";
    const SheetResult r = readDiscSheet(writeFile(dir.filePath(QStringLiteral("disc.toc")), toc));
    ASSERT_TRUE(r.sheet) << r.error.toStdString();
    const DiscSheet &s = *r.sheet;
    EXPECT_EQ(s.toc.title, QStringLiteral("Jos\u00e9"));
    EXPECT_EQ(s.catalog, QStringLiteral("1234567890123"));
    EXPECT_EQ(starts(s.toc), (std::vector<qint32>{0, 9, 30, 41}));
    EXPECT_FALSE(s.toc.tracks[0].audio);
    EXPECT_EQ(s.toc.leadout, 47);
    EXPECT_EQ(s.info[2].pregapStart, 29);
    const QByteArray expected = QByteArray(9 * SectorBytes, '\0') + big + QByteArray(SectorBytes, '\0') +
                                little + QByteArray(SectorBytes, '\0') + wave.mid(2 * SectorBytes);
    EXPECT_TRUE(readAll(s) == expected);
}
