#include "support/Cli.h"
#include "support/Files.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using varnelo::test::CliResult;
namespace test = varnelo::test;

CliResult cli(const QStringList &args) {
    return test::runCli(args);
}

// A field written the way another tool would: length byte, text, arbitrary filler.
QByteArray field(const QByteArray &text, int area) {
    QByteArray f(1, char(text.size()));
    f += text;
    f += QByteArray(area - text.size(), 'Z');
    return f;
}

QByteArray record(const QByteArray &home, const QByteArray &stream, const QByteArray &genre,
                  const QByteArray &name) {
    return field(home, 50) + field(stream, 50) + field(genre, 30) + field(name, 100);
}

} // namespace

TEST(StationsCli, ListsFilesWrittenByAnotherToolForRootsAndGenreNodes) {
    QTemporaryDir dir;
    const QByteArray longName(100, 'N');
    const QByteArray longStream = "http://" + QByteArray(43, 's');
    test::writeBytes(dir.filePath(QStringLiteral("radio.dat")),
                     record("http://home", longStream, QByteArray(30, 'g'), longName) +
                         record("", "http://r/2", "Classic Rock", "Rocker") + "short tail");
    test::writeBytes(dir.filePath(QStringLiteral("history.dat")), record("h", "http://h/1", "Jazz", "Heard"));

    CliResult all = cli(
        {QStringLiteral("stations"), QStringLiteral("--data-folder"), dir.path(), QStringLiteral("list")});
    ASSERT_EQ(all.code, 0) << all.err.toStdString();
    EXPECT_EQ(all.out, QString::fromLatin1(longName + '\t' + QByteArray(30, 'g') + '\t' + longStream +
                                           "\thttp://home\n" + "Rocker\tClassic Rock\thttp://r/2\t\n"));

    CliResult rock = cli({QStringLiteral("stations"), QStringLiteral("--data-folder"), dir.path(),
                          QStringLiteral("list"), QStringLiteral("Rock")});
    EXPECT_EQ(rock.out, QStringLiteral("Rocker\tClassic Rock\thttp://r/2\t\n"));
    CliResult history = cli({QStringLiteral("stations"), QStringLiteral("--data-folder"), dir.path(),
                             QStringLiteral("list"), QStringLiteral("history")});
    EXPECT_EQ(history.out, QStringLiteral("Heard\tJazz\thttp://h/1\th\n"));

    CliResult missing = cli({QStringLiteral("stations"), QStringLiteral("--data-folder"), dir.path(),
                             QStringLiteral("list"), QStringLiteral("No Such Node")});
    EXPECT_EQ(missing.code, 1);
    EXPECT_FALSE(missing.err.isEmpty());
}

TEST(StationsCli, AddFollowsTheAddStationRules) {
    QTemporaryDir dir;
    const QStringList base{QStringLiteral("stations"), QStringLiteral("--data-folder"), dir.path(),
                           QStringLiteral("add")};
    EXPECT_EQ(
        cli(base + QStringList{QStringLiteral("--name"), QStringLiteral("A"), QStringLiteral("--genre"),
                               QStringLiteral("Jazz"), QStringLiteral("--url"), QStringLiteral("http://a")})
            .code,
        0);
    // Each refusal says its one reason and exits 1; so does a data folder that cannot be written.
    const struct {
        QStringList args;
        QString reason;
    } refused[] = {
        {base + QStringList{QStringLiteral("--name"), QStringLiteral("B"), QStringLiteral("--url"),
                            QStringLiteral("http://a")},
         QStringLiteral("the address is already in the list")},
        {base + QStringList{QStringLiteral("--url"), QStringLiteral("http://b")},
         QStringLiteral("give a name, a genre or a home address")},
        {{QStringLiteral("stations"), QStringLiteral("--data-folder"),
          dir.filePath(QStringLiteral("radio.dat/sub")), QStringLiteral("add"), QStringLiteral("--name"),
          QStringLiteral("C"), QStringLiteral("--url"), QStringLiteral("http://c")},
         QStringLiteral("not added")},
    };
    for (const auto &r : refused) {
        const CliResult result = cli(r.args);
        EXPECT_EQ(result.code, 1) << r.reason.toStdString();
        EXPECT_TRUE(result.err.contains(r.reason)) << result.err.toStdString();
    }
    EXPECT_EQ(QFile(dir.filePath(QStringLiteral("radio.dat"))).size(), 234);
    EXPECT_EQ(cli(base + QStringList{QStringLiteral("--bogus")}).code, 2);
    EXPECT_EQ(cli({QStringLiteral("stations")}).code, 2);
}

TEST(StationsCli, ImportsPlaylistsSkippingDuplicates) {
    QTemporaryDir dir;
    test::writeBytes(dir.filePath(QStringLiteral("list.pls")),
                     "[playlist]\nNumberOfEntries=3\nFile1=http://one/\nTitle1=One FM\nFile2=http://two/\n"
                     "File3=http://one/\nTitle3=Dup\n");
    test::writeBytes(dir.filePath(QStringLiteral("list.m3u")),
                     "#EXTM3U\n#EXTINF:-1,Three\n#EXTGENRE:Talk\nhttp://three/\n\n# note\nhttp://two/\n");
    const QStringList base{QStringLiteral("stations"), QStringLiteral("--data-folder"), dir.path()};
    CliResult pls =
        cli(base + QStringList{QStringLiteral("import"), dir.filePath(QStringLiteral("list.pls"))});
    EXPECT_EQ(pls.code, 0) << pls.err.toStdString();
    EXPECT_EQ(pls.out, QStringLiteral("imported 2 of 3 stations\n"));
    CliResult m3u =
        cli(base + QStringList{QStringLiteral("import"), dir.filePath(QStringLiteral("list.m3u"))});
    EXPECT_EQ(m3u.out, QStringLiteral("imported 1 of 2 stations\n"));
    CliResult list = cli(base + QStringList{QStringLiteral("list")});
    EXPECT_EQ(list.out,
              QStringLiteral(
                  "One FM\t\thttp://one/\t\nhttp://two/\t\thttp://two/\t\nThree\tTalk\thttp://three/\t\n"));
    CliResult bad =
        cli(base + QStringList{QStringLiteral("import"), dir.filePath(QStringLiteral("missing.pls"))});
    EXPECT_EQ(bad.code, 1);
}
