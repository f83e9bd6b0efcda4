// varnelo-cli's help, version and argument errors, and FFmpeg's own messages
// kept off the terminal.
#include "support/ChildProcess.h"
#include "support/Cli.h"
#include "support/Files.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace varnelo {
namespace {

struct Case {
    QStringList args;
    int code;
    QString out; // contained in stdout
    QString err; // contained in stderr
};

TEST(CliHelp, HelpVersionAndErrorsThatNameTheArgument) {
    const auto L = [](const char *s) { return QString::fromUtf8(s); };
    const std::vector<Case> cases = {
        {{L("--help")}, 0, L("Commands:\n  cd        List, look up"), {}},
        {{L("-h")}, 0, L("Run \"varnelo-cli COMMAND --help\""), {}},
        {{L("--version")}, 0, L("varnelo-cli 1.00\n"), {}},
        {{}, 2, {}, L("usage: varnelo-cli [--help] [--version] COMMAND")},
        {{L("--bogus")}, 2, {}, L("unknown option '--bogus'")},
        {{L("frobnicate")}, 2, {}, L("unknown command 'frobnicate'")},
        {{L("convert"), L("--help")}, 0, L("--jobs <n>"), {}},
        {{L("convert"), L("--to"), L("aiff"), L("x.wav")}, 2, {}, L("--to: 'aiff' is not one of")},
        {{L("convert"), L("--to"), L("mp3"), L("--jobs"), L("zero"), L("x.wav")}, 2, {}, L("--jobs: 'zero'")},
        {{L("convert"), L("--speed"), L("9")}, 2, {}, L("'speed'")},
        {{L("stations"), L("--help")}, 0, L("stations [--data-folder DIR] import FILE"), {}},
        {{L("stations"), L("add"), L("--help")}, 0, L("--url <U>"), {}},
        {{L("stations"), L("remove")}, 2, {}, L("unknown action 'remove'")},
        {{L("stations"), L("add"), L("--nmae"), L("A")}, 2, {}, L("'nmae'")},
        {{L("stream"), L("--help")}, 0, L("--seconds <N>"), {}},
        {{L("stream"), L("--seconds"), L("ten"), L("http://x/")}, 2, {}, L("--seconds: 'ten'")},
        {{L("stream"), L("http://a/"), L("http://b/")}, 2, {}, L("unexpected argument 'http://b/'")},
        {{L("tags"), L("set"), L("--help")}, 0, L("--genre-number <N>"), {}},
        {{L("tags"), L("set"), L("f.mp3"), L("--year"), L("20000")},
         2,
         {},
         L("--year: '20000' is not a number")},
        {{L("tags"), L("shwo"), L("f.mp3")}, 2, {}, L("unknown sub-command 'shwo'")},
        {{L("scan"), L("a"), L("b")}, 2, {}, L("unexpected 'b'")},
        {{L("play"), L("--help")}, 0, L("FILE..."), {}},
        {{L("record"), L("--help")}, 0, L("--split-by-title"), {}},
        {{L("stations"), L("search"), L("--help")}, 0, L("--country <CC>"), {}},
    };
    for (const Case &c : cases) {
        const test::CliResult r = test::runCli(c.args);
        const std::string what = c.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(r.code, c.code) << what << "\n" << r.err.toStdString();
        EXPECT_TRUE(r.out.contains(c.out)) << what << "\n" << r.out.toStdString();
        EXPECT_TRUE(r.err.contains(c.err)) << what << "\n" << r.err.toStdString();
        if (c.code == 2) { // a usage error shows the way to the help
            EXPECT_TRUE(r.err.contains(QStringLiteral("usage:"))) << what;
        }
    }
}

// A damaged MP3: FFmpeg complains while decoding it; the complaints go to the
// "varnelo.ffmpeg" log, which only a logging rule shows.
TEST(CliHelp, FFmpegMessagesStayInTheQuietLog) {
    QTemporaryDir dir;
    const QString wav = dir.filePath(QStringLiteral("t.wav"));
    const QString mp3 = dir.filePath(QStringLiteral("t.mp3"));
    ASSERT_EQ(test::runTool(QStringLiteral("sox"),
                            {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"),
                             QStringLiteral("-c"), QStringLiteral("2"), wav, QStringLiteral("synth"),
                             QStringLiteral("3"), QStringLiteral("sine"), QStringLiteral("440")}),
              0);
    ASSERT_EQ(test::runTool(QStringLiteral("lame"), {QStringLiteral("--quiet"), wav, mp3}), 0);
    QByteArray bytes = test::readBytes(mp3);
    for (qsizetype i = bytes.size() / 3; i < bytes.size() / 3 + 3000; ++i)
        bytes[i] = char((i * 37) & 0xff);
    test::writeBytes(mp3, bytes);

    const auto play = [&](const QByteArray &rules) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QString::fromLatin1(rules));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(VARNELO_CLI_PATH), {QStringLiteral("play"), QStringLiteral("--silent"), mp3});
        p.waitForFinished(60000);
        EXPECT_EQ(p.exitCode(), 0);
        return QString::fromUtf8(p.readAllStandardError());
    };
    const QString quiet = play("");
    EXPECT_FALSE(quiet.contains(QStringLiteral("mp3"))) << quiet.toStdString();
    const QString shown = play("varnelo.ffmpeg.debug=true");
    EXPECT_TRUE(shown.contains(QStringLiteral("varnelo.ffmpeg: [mp3"))) << shown.toStdString();
}

} // namespace
} // namespace varnelo
