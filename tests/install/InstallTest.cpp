// `cmake --install` into a temporary prefix (with a space in it), checked by
// the desktop's own validators, and the installed copy's files kept per user.
#include "common/ProgramFiles.h"
#include "support/ChildProcess.h"
#include "support/Files.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace varnelo {
namespace {

const QString BuildDir =
    QFileInfo(QStringLiteral(VARNELO_CLI_PATH)).dir().absoluteFilePath(QStringLiteral(".."));

// Runs a tool; its exit code, with what it printed in `output`.
int run(const QString &program, const QStringList &args, QString *output = nullptr) {
    test::ChildProcess p;
    if (!p.start(program, args) || !p.waitForFinished(120000))
        return -1;
    if (output)
        *output = QString::fromUtf8(p.standardOutput() + p.standardError());
    return p.exitedNormally() ? p.exitCode() : -1;
}

class Install : public ::testing::Test {
protected:
    void SetUp() override {
        prefix = dir.filePath(QStringLiteral("my prefix"));
        QString log;
        ASSERT_EQ(run(QStringLiteral("cmake"),
                      {QStringLiteral("--install"), BuildDir, QStringLiteral("--prefix"), prefix}, &log),
                  0)
            << log.toStdString();
    }
    QString installed(const QString &relative) const { return QDir(prefix).filePath(relative); }
    QTemporaryDir dir;
    QString prefix;
};

TEST_F(Install, PutsEveryFileInItsPlaceAndTheValidatorsAccept) {
    for (const char *file : {"bin/varnelo", "bin/varnelo-cli", "share/applications/varnelo.desktop",
                             "share/metainfo/org.varnelo.varnelo.metainfo.xml",
                             "share/man/man1/varnelo-cli.1", "share/icons/hicolor/scalable/apps/varnelo.svg"})
        EXPECT_TRUE(QFileInfo::exists(installed(QString::fromLatin1(file)))) << file;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QImage icon(installed(QStringLiteral("share/icons/hicolor/%1x%1/apps/varnelo.png").arg(size)));
        EXPECT_EQ(icon.size(), QSize(size, size)) << size;
    }

    const QString entry = installed(QStringLiteral("share/applications/varnelo.desktop"));
    QString out;
    EXPECT_EQ(run(QStringLiteral("desktop-file-validate"), {entry}, &out), 0) << out.toStdString();
    EXPECT_TRUE(out.isEmpty()) << out.toStdString();
    EXPECT_EQ(run(QStringLiteral("appstreamcli"),
                  {QStringLiteral("validate"), QStringLiteral("--no-net"), QStringLiteral("--pedantic"),
                   installed(QStringLiteral("share/metainfo/org.varnelo.varnelo.metainfo.xml"))},
                  &out),
              0)
        << out.toStdString();
    EXPECT_EQ(run(QStringLiteral("groff"),
                  {QStringLiteral("-man"), QStringLiteral("-ww"), QStringLiteral("-z"),
                   installed(QStringLiteral("share/man/man1/varnelo-cli.1"))},
                  &out),
              0);
    EXPECT_TRUE(out.isEmpty()) << out.toStdString();

    // The program by its full path, one argument although the path has a space.
    const QString text = QString::fromUtf8(test::readBytes(entry));
    EXPECT_TRUE(
        text.contains(QStringLiteral("\nExec=\"%1\" %f\n").arg(installed(QStringLiteral("bin/varnelo")))))
        << text.toStdString();
    for (const char *line : {"\nName=Varnelo\n", "\nIcon=varnelo\n", "\nCategories=AudioVideo;Audio;\n",
                             "\nMimeType=audio/mpeg;audio/x-wav;audio/wav;audio/ogg;audio/x-vorbis+ogg;audio/"
                             "x-ms-wma;\n"})
        EXPECT_TRUE(text.contains(QString::fromLatin1(line))) << line;
}

TEST_F(Install, TheInstalledCopyKeepsItsFilesPerUser) {
    const QString data = dir.filePath(QStringLiteral("data"));
    const QString config = dir.filePath(QStringLiteral("config"));
    qputenv("XDG_DATA_HOME", data.toUtf8());
    qputenv("XDG_CONFIG_HOME", config.toUtf8());
    QString out;
    ASSERT_EQ(run(installed(QStringLiteral("bin/varnelo-cli")),
                  {QStringLiteral("stations"), QStringLiteral("add"), QStringLiteral("--name"),
                   QStringLiteral("A"), QStringLiteral("--url"), QStringLiteral("http://a/")},
                  &out),
              0)
        << out.toStdString();
    EXPECT_EQ(QFileInfo(data + QStringLiteral("/varnelo/record/radio.dat")).size(), 234);
    EXPECT_FALSE(QFileInfo::exists(installed(QStringLiteral("bin/record"))));

    const ProgramFiles files = ProgramFiles::forExecutableIn(installed(QStringLiteral("bin")));
    EXPECT_TRUE(files.perUser);
    EXPECT_EQ(files.dataFolder.path(), data + QStringLiteral("/varnelo/record/"));
    EXPECT_EQ(files.settingsPath, config + QStringLiteral("/varnelo/temp.ini"));
    EXPECT_TRUE(QFileInfo(config + QStringLiteral("/varnelo")).isDir());

    // A copy that already has its data beside it keeps it; a build folder keeps it there.
    ASSERT_TRUE(QDir().mkpath(installed(QStringLiteral("bin/record"))));
    EXPECT_FALSE(ProgramFiles::forExecutableIn(installed(QStringLiteral("bin"))).perUser);
    const ProgramFiles build =
        ProgramFiles::forExecutableIn(QFileInfo(QStringLiteral(VARNELO_CLI_PATH)).path());
    EXPECT_FALSE(build.perUser);
    EXPECT_EQ(build.settingsPath, QStringLiteral("temp.ini"));
}

} // namespace
} // namespace varnelo
