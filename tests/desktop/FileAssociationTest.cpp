#include "desktop/FileAssociation.h"

#include "common/Error.h"
#include "platform/shell/SystemShell.h"
#include "support/Fakes.h"
#include "support/Files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace varnelo;
using varnelo::test::readBytes;
using varnelo::test::writeBytes;

namespace {

const QString Us = QStringLiteral("varnelo.desktop");

struct ListCase {
    const char *name;
    const char *before;
    const char *mime;
    const char *after;
};

TEST(MimeappsList, WithDefaultPutsUsFirstAndKeepsEverythingElse) {
    const ListCase cases[] = {
        {"empty file", "", "audio/mpeg", "[Default Applications]\naudio/mpeg=varnelo.desktop;\n"},
        {"other groups only", "[Added Associations]\naudio/ogg=a.desktop;\n", "audio/mpeg",
         "[Added Associations]\naudio/ogg=a.desktop;\n\n[Default "
         "Applications]\naudio/mpeg=varnelo.desktop;\n"},
        {"new key after the group's last key",
         "[Default Applications]\ntext/plain=ed.desktop\n\n[Added Associations]\nx/y=z.desktop;\n",
         "audio/mpeg",
         "[Default Applications]\ntext/plain=ed.desktop\naudio/mpeg=varnelo.desktop;\n\n"
         "[Added Associations]\nx/y=z.desktop;\n"},
        {"another program stays after us", "[Default Applications]\naudio/mpeg=other.desktop\n", "audio/mpeg",
         "[Default Applications]\naudio/mpeg=varnelo.desktop;other.desktop;\n"},
        {"already listed second",
         "[Default Applications]\naudio/mpeg = a.desktop;varnelo.desktop;b.desktop;\n", "audio/mpeg",
         "[Default Applications]\naudio/mpeg=varnelo.desktop;a.desktop;b.desktop;\n"},
        {"comments and CRLF kept", "# mine\r\n[Default Applications]\r\n# note\r\naudio/mpeg=x.desktop\r\n",
         "audio/mpeg", "# mine\n[Default Applications]\n# note\naudio/mpeg=varnelo.desktop;x.desktop;\n"},
        {"a key that only starts like ours", "[Default Applications]\naudio/mpegurl=p.desktop\n",
         "audio/mpeg", "[Default Applications]\naudio/mpegurl=p.desktop\naudio/mpeg=varnelo.desktop;\n"},
    };
    for (const ListCase &c : cases) {
        const QByteArray after = xdg::WithDefault(c.before, QString::fromLatin1(c.mime), Us);
        EXPECT_EQ(after, QByteArray(c.after)) << c.name;
        EXPECT_EQ(xdg::Defaults(after, QString::fromLatin1(c.mime)).value(0), Us) << c.name;
    }
}

TEST(MimeappsList, WithoutDefaultTakesOutOnlyUs) {
    const ListCase cases[] = {
        {"ours alone: the line goes", "[Default Applications]\naudio/mpeg=varnelo.desktop;\nx/y=a;\n",
         "audio/mpeg", "[Default Applications]\nx/y=a;\n"},
        {"the program after us becomes the default",
         "[Default Applications]\naudio/mpeg=varnelo.desktop;other.desktop;\n", "audio/mpeg",
         "[Default Applications]\naudio/mpeg=other.desktop;\n"},
        {"another program's default is untouched", "[Default Applications]\naudio/mpeg=other.desktop\n",
         "audio/mpeg", "[Default Applications]\naudio/mpeg=other.desktop\n"},
        {"other groups are not ours to change", "[Added Associations]\naudio/mpeg=varnelo.desktop;\n",
         "audio/mpeg", "[Added Associations]\naudio/mpeg=varnelo.desktop;\n"},
        {"missing file", "", "audio/mpeg", ""},
    };
    for (const ListCase &c : cases)
        EXPECT_EQ(xdg::WithoutDefault(c.before, QString::fromLatin1(c.mime), Us), QByteArray(c.after))
            << c.name;
}

TEST(DesktopEntry, ExecArgumentIsOneWordEscapedAsTheSpecificationSays) {
    const std::pair<const char *, const char *> cases[] = {
        {"/usr/bin/varnelo", "/usr/bin/varnelo"},
        {"/opt/My Apps/varnelo", "\"/opt/My Apps/varnelo\""},
        {"/opt/a\"b/varnelo", "\"/opt/a\\\\\"b/varnelo\""},
        {"/opt/$HOME/x`y", "\"/opt/\\\\$HOME/x\\\\`y\""},
        {"/opt/back\\slash", "\"/opt/back\\\\\\\\slash\""},
        {"/opt/100%/varnelo", "/opt/100%%/varnelo"},
    };
    for (const auto &[path, exec] : cases)
        EXPECT_EQ(xdg::ExecArgument(QString::fromUtf8(path)), QString::fromUtf8(exec)) << path;
}

// A user's home with its own XDG folders; the environment points at it.
class AssociationTest : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
        qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    }
    void TearDown() override {
        qunsetenv("XDG_DATA_HOME");
        qunsetenv("XDG_CONFIG_HOME");
    }
    FileAssociation make(const QString &executable = QCoreApplication::applicationFilePath()) {
        return FileAssociation(FileAssociation::userPlaces(executable), shell);
    }
    QString entryPath() const { return home.filePath(QStringLiteral("data/applications/varnelo.desktop")); }
    QString listPath() const { return home.filePath(QStringLiteral("config/mimeapps.list")); }
    QByteArray list() const { return readBytes(listPath()); }
    // xdg-mime run against the temporary home only.
    QString queryDefault(const QString &mime) const {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_DIRS"), home.filePath(QStringLiteral("none")));
        env.insert(QStringLiteral("XDG_CONFIG_DIRS"), home.filePath(QStringLiteral("none")));
        env.remove(QStringLiteral("XDG_CURRENT_DESKTOP"));
        env.remove(QStringLiteral("DESKTOP_SESSION"));
        env.remove(QStringLiteral("KDE_FULL_SESSION"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), mime});
        p.waitForFinished(20000);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }

    QTemporaryDir home;
    test::FakeShell shell;
};

TEST_F(AssociationTest, AssociatingMakesUsTheDefaultThatXdgMimeReports) {
    FileAssociation assoc = make();
    ASSERT_EQ(assoc.desktopEntryPath(), entryPath());
    assoc.Associate(QStringLiteral("mp3"));
    assoc.Associate(QStringLiteral("ogg"));
    const QByteArray entry = readBytes(entryPath());
    EXPECT_EQ(xdg::EntryMimeTypes(entry),
              (QStringList{QStringLiteral("audio/mpeg"), QStringLiteral("audio/ogg"),
                           QStringLiteral("audio/x-vorbis+ogg")}));
    EXPECT_TRUE(entry.contains("\nExec=" + QCoreApplication::applicationFilePath().toUtf8() + " %f\n"));
    for (const char *line : {"\nName=Varnelo\n", "\nIcon=varnelo\n", "\nCategories=AudioVideo;Audio;\n"})
        EXPECT_TRUE(entry.contains(line)) << line;
    EXPECT_EQ(xdg::Defaults(list(), QStringLiteral("audio/x-vorbis+ogg")), QStringList{Us});
    EXPECT_EQ(queryDefault(QStringLiteral("audio/mpeg")), Us);
    EXPECT_EQ(shell.refreshedFolders.value(0), home.filePath(QStringLiteral("data/applications")));
}

TEST_F(AssociationTest, UnassociatingKeepsOtherProgramsAndTheEntryWhileATypeRemains) {
    QDir().mkpath(home.filePath(QStringLiteral("config")));
    writeBytes(listPath(),
               "[Default Applications]\naudio/x-wav=player.desktop;\naudio/x-ms-wma=other.desktop\n");
    FileAssociation assoc = make();
    assoc.Associate(QStringLiteral("wav"));
    assoc.Associate(QStringLiteral("mp3"));
    EXPECT_EQ(xdg::Defaults(list(), QStringLiteral("audio/x-wav")),
              (QStringList{Us, QStringLiteral("player.desktop")}));

    assoc.Unassociate(QStringLiteral("wav"));
    assoc.Unassociate(QStringLiteral("wma")); // never ours: the other program keeps it
    EXPECT_EQ(list(),
              QByteArray("[Default Applications]\naudio/x-wav=player.desktop;\naudio/x-ms-wma=other.desktop\n"
                         "audio/mpeg=varnelo.desktop;\n"));
    EXPECT_EQ(xdg::EntryMimeTypes(readBytes(entryPath())), QStringList{QStringLiteral("audio/mpeg")});

    assoc.Unassociate(QStringLiteral("mp3"));
    EXPECT_FALSE(QFile::exists(entryPath()));
    EXPECT_EQ(xdg::Defaults(list(), QStringLiteral("audio/mpeg")), QStringList());
}

TEST_F(AssociationTest, AnInstalledEntryIsUsedAndNeverRemoved) {
    QDir().mkpath(home.filePath(QStringLiteral("data/applications")));
    const QByteArray installed =
        "[Desktop Entry]\nType=Application\nName=Varnelo\nExec=varnelo %f\nIcon=varnelo\n"
        "MimeType=audio/mpeg;\n";
    writeBytes(entryPath(), installed);
    FileAssociation assoc = make();
    assoc.Associate(QStringLiteral("mp3"));
    assoc.Unassociate(QStringLiteral("mp3"));
    EXPECT_EQ(readBytes(entryPath()), installed);
}

TEST_F(AssociationTest, APathWithSpacesPassesTheValidatorAndARefreshBuildsTheCache) {
    // A copy of an executable in a folder with a space, so the Exec key must quote it.
    const QString folder = home.filePath(QStringLiteral("My Programs"));
    QDir().mkpath(folder);
    const QString exe = folder + QStringLiteral("/var nelo");
    ASSERT_TRUE(QFile::copy(QCoreApplication::applicationFilePath(), exe));
    SystemShell system;
    FileAssociation assoc(FileAssociation::userPlaces(exe), system);
    assoc.Associate(QStringLiteral("wma"));
    EXPECT_TRUE(readBytes(entryPath()).contains("\nExec=\"" + exe.toUtf8() + "\" %f\n"));

    QProcess validate;
    validate.start(QStringLiteral("desktop-file-validate"), {entryPath()});
    ASSERT_TRUE(validate.waitForFinished(20000));
    EXPECT_EQ(validate.exitCode(), 0) << validate.readAllStandardOutput().constData();
    EXPECT_TRUE(readBytes(home.filePath(QStringLiteral("data/applications/mimeinfo.cache")))
                    .contains("audio/x-ms-wma=varnelo.desktop;"));
}

TEST_F(AssociationTest, AFileThatCannotBeWrittenRaisesTheErrorNamingIt) {
    QDir().mkpath(listPath()); // a folder where the list should be
    FileAssociation assoc = make();
    try {
        assoc.Associate(QStringLiteral("mp3"));
        FAIL() << "no error";
    } catch (const Error &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Failed to set data for '%1'").arg(listPath()));
    }
    EXPECT_TRUE(shell.refreshedFolders.isEmpty());
    assoc.Unassociate(QStringLiteral("mp3")); // failures of un-association are ignored
}

} // namespace
