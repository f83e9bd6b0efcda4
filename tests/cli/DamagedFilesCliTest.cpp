// Data files that are damaged or are no files at all: nothing of them is lost,
// nothing waits for ever, and the command line says what it found.
#include "support/Cli.h"
#include "support/Files.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

namespace test = varnelo::test;

QByteArray field(const QByteArray &text, int area) {
    return char(text.size()) + text + QByteArray(area - text.size(), '\0');
}

// A tree or record file not read whole is kept as "<name>.damaged" before the
// command saves over it; the command says so and exits 1, and the file it
// leaves reads whole the next time.
TEST(DamagedFilesCli, AFileNotReadWholeIsKeptAndNamedBeforeItIsSavedOver) {
    QTemporaryDir dir;
    const QString music = dir.filePath(QStringLiteral("music"));
    QDir().mkpath(music);
    const QByteArray station =
        field("", 50) + field("http://s/1", 50) + field("Jazz", 30) + field("One", 100);
    const QByteArray track =
        field("Rock", 10) + field("T", 100) + field("A", 80) + field("B", 100) + field("/x", 255);
    const struct {
        const char *name;
        QStringList command;
        const char *file;
        QByteArray bytes;
        const char *said;
    } cases[] = {
        {"level",
         {QStringLiteral("scan"), music},
         "tt.txt",
         "Now Playing\r\nAll Title\r\n\t\t\tDeep\r\nMy Artist\r\n\tSomeone\r\n",
         "Invalid level (3)"},
        {"byte 0",
         {QStringLiteral("scan"), music},
         "tt.txt",
         QByteArray("Now Playing\r\n\0My Artist\r\n", 25),
         "A byte 0 at offset 13"},
        {"roots", {QStringLiteral("scan"), music}, "tt.txt", "Mine\r\n\tA\r\nYours\r\n", "fixed top level"},
        {"catalogue",
         {QStringLiteral("list")},
         "treetext.txt",
         "Now Playing\r\n\t\tDeep\r\n",
         "Invalid level (2)"},
        {"station tail",
         {QStringLiteral("add"), QStringLiteral("--name"), QStringLiteral("N"), QStringLiteral("--url"),
          QStringLiteral("http://n/")},
         "radio.dat",
         station + "cut",
         "ended in 3 bytes"},
        {"track tail",
         {QStringLiteral("scan"), music},
         "music.dat",
         track + track.left(100),
         "ended in 100 bytes"},
    };
    for (const auto &c : cases) {
        const QString data = dir.filePath(QString::fromLatin1(c.name));
        QDir().mkpath(data);
        const QString path = data + QLatin1Char('/') + QLatin1String(c.file);
        test::writeBytes(path, c.bytes);
        const bool scan = c.command.first() == QLatin1String("scan");
        QStringList args =
            scan ? QStringList{QStringLiteral("scan")} : QStringList{QStringLiteral("stations")};
        args << QStringLiteral("--data-folder") << data << (scan ? c.command.mid(1) : c.command);
        const test::CliResult first = test::runCli(args);
        EXPECT_EQ(first.code, 1) << c.name << ": " << first.err.toStdString();
        EXPECT_TRUE(first.err.contains(QLatin1String(c.said)) &&
                    first.err.contains(QStringLiteral("kept as \"%1.damaged\"").arg(QLatin1String(c.file))))
            << c.name << ": " << first.err.toStdString();
        EXPECT_EQ(first.err.count(QLatin1String(".damaged")), 1) << c.name;
        EXPECT_EQ(test::readBytes(path + QStringLiteral(".damaged")), c.bytes) << c.name;
        if (c.command.first() != QLatin1String("list")) {
            // Said once: the second run finds the file whole (an add then finds its station there).
            const test::CliResult again = test::runCli(args);
            EXPECT_EQ(again.code, c.command.contains(QStringLiteral("add")) ? 1 : 0)
                << c.name << ": " << again.err.toStdString();
            EXPECT_FALSE(again.err.contains(QStringLiteral(".damaged"))) << c.name;
        }
    }
}

// Only regular files are opened as audio or data files: a FIFO or a link to a
// device is refused at once, with its name.
TEST(DamagedFilesCli, SpecialFilesAreRefusedNotWaitedOn) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("pipe.mp3"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString zero = dir.filePath(QStringLiteral("zero.ogg"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
    const QString data = dir.filePath(QStringLiteral("record"));
    QDir().mkpath(data);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), data + QStringLiteral("/radio.dat")));
    const QStringList commands[] = {
        {QStringLiteral("tags"), QStringLiteral("read"), fifo, zero},
        {QStringLiteral("tags"), QStringLiteral("show"), fifo},
        {QStringLiteral("tags"), QStringLiteral("set"), zero, QStringLiteral("--title"), QStringLiteral("X")},
        {QStringLiteral("stations"), QStringLiteral("--data-folder"), data, QStringLiteral("list")},
        {QStringLiteral("stations"), QStringLiteral("--data-folder"), dir.path(), QStringLiteral("import"),
         fifo},
        {QStringLiteral("convert"), QStringLiteral("--to"), QStringLiteral("wav"), QStringLiteral("--out"),
         dir.filePath(QStringLiteral("out")), fifo},
        {QStringLiteral("play"), fifo},
        {QStringLiteral("convert"), QStringLiteral("--to"), QStringLiteral("wav"),
         QStringLiteral("--settings"), fifo, zero},
        {QStringLiteral("record"), QStringLiteral("http://127.0.0.1:9/"), QStringLiteral("--settings"), fifo},
    };
    for (const QStringList &args : commands) {
        const test::CliResult r = test::runCli(args, {}, 20000);
        EXPECT_EQ(r.code, 1) << args.join(QLatin1Char(' ')).toStdString() << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("not a regular file"), Qt::CaseInsensitive))
            << r.err.toStdString();
    }
    const test::CliResult scan = test::runCli({QStringLiteral("scan"), QStringLiteral("--data-folder"),
                                               dir.filePath(QStringLiteral("other")), dir.path()},
                                              {}, 20000);
    EXPECT_EQ(scan.code, 0) << scan.err.toStdString();
    EXPECT_EQ(scan.err.count(QStringLiteral("not a regular file")), 2) << scan.err.toStdString();
}

} // namespace
