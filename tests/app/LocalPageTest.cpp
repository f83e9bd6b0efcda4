// The local page on the real window: the track list's menu, a command-line
// file playing to its end, the tag editor from the list, and a conversion
// started from the list and stopped half way.
#include "WindowFixture.h"
#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/SkinSurface.h"
#include "convert/Converter.h"
#include "library/LibraryCatalogue.h"
#include "library/LocalPlayer.h"
#include "library/TagEditor.h"
#include "platform/skin/Skin.h"
#include "radio/Recorder.h"
#include "support/AudioCheck.h"
#include "support/ChildProcess.h"
#include "support/Fakes.h"
#include "support/Files.h"
#include "support/Wait.h"

#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <gtest/gtest.h>

using namespace varnelo;

namespace {

// Through fork, not QProcess: the window's sound thread runs beside it under
// the thread sanitizer.
QString tool(const QString &program, const QStringList &args) {
    test::ChildProcess p;
    EXPECT_TRUE(p.start(program, args) && p.waitForFinished(60000) && p.exitedNormally() && p.exitCode() == 0)
        << program.toStdString() << ": " << p.standardError().constData();
    return QString::fromUtf8(p.standardOutput());
}

class LocalPageTest : public test::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        QDir().mkpath(dir.filePath(QStringLiteral("record")));
        test::writeBytes(dir.filePath(QStringLiteral("temp.ini")),
                         "[video]\npath=" + dir.filePath(QStringLiteral("out")).toUtf8() + "\n");
    }
    void start(const QStringList &arguments = {}) { w = startWindow(arguments); }
    void TearDown() override {
        w.reset();
        WindowTest::TearDown();
    }
    QString tone(const QString &name, double seconds) {
        const QString path = dir.filePath(name);
        tool(QStringLiteral("sox"),
             {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"), QStringLiteral("-c"),
              QStringLiteral("2"), path, QStringLiteral("synth"), QString::number(seconds),
              QStringLiteral("sine"), QStringLiteral("440")});
        return path;
    }
    void addRow(const QString &title, const QString &path) {
        LibraryRecord r;
        r.Title = title;
        r.Artist = QStringLiteral("The Band");
        r.Album = QStringLiteral("Live");
        r.Genre = QStringLiteral("Blues");
        r.Path = path;
        w->library().appendTrackRow(r);
    }

    std::unique_ptr<MainWindow> w;
};

TEST_F(LocalPageTest, TrackListMenuHoldsPlaybackConverterAndTagEntries) {
    start();
    QStringList names;
    for (QAction *a : w->P_lv2->actions())
        names << (a->menu() ? a->menu()->objectName() : a->objectName());
    EXPECT_EQ(names,
              (QStringList{QStringLiteral("Play1"), QStringLiteral("Stop2"), QStringLiteral("Converter1"),
                           QStringLiteral("Addfile2"), QStringLiteral("Add1"), QStringLiteral("Del1"),
                           QStringLiteral("Clearall1"), QStringLiteral("ID3Info2")}));
    const auto *converter1 = w->P_lv2->findChild<QMenu *>(QStringLiteral("Converter1"));
    ASSERT_NE(converter1, nullptr);
    EXPECT_EQ(converter1->title(), QStringLiteral("Converter "));
    QStringList items;
    for (QAction *a : converter1->actions())
        items << a->text();
    EXPECT_EQ(items,
              (QStringList{QStringLiteral("To MP3"), QStringLiteral("To WAV"), QStringLiteral("To WMA"),
                           QStringLiteral("To OGG"), QStringLiteral("To FLAC"), QStringLiteral("To Opus")}));
    EXPECT_EQ(w->fm_id3, w->tagEditor());
}

TEST_F(LocalPageTest, CommandLineFilePlaysToItsEndOnTheLocalPage) {
    const QString file = tone(QStringLiteral("arg.wav"), 1);
    start({file});
    EXPECT_FALSE(w->shownPage().radio());
    EXPECT_EQ(w->localPlayer().state(), PlayState::Playing);
    EXPECT_EQ(w->localPlayer().CurrentFile, file);
    EXPECT_EQ(w->localPlayer().highlightedRow(LocalPlayer::List::Library), 0);
    ASSERT_TRUE(test::waitUntil([&] { return w->localPlayer().state() == PlayState::Stopped; }));
    EXPECT_TRUE(unhandled.isEmpty()) << unhandled.join(QLatin1Char('\n')).toStdString();
}

// The skin's play and a file named on the command line start through the
// playback coordinator: the station that played stops.
TEST_F(LocalPageTest, SkinPlayAndTheCommandLineStopTheStationThatPlayed) {
    const QString file = tone(QStringLiteral("arg.wav"), 5);
    start({file});
    test::IcyServer icy;
    ASSERT_TRUE(icy.start());
    ASSERT_TRUE(playStation(*w, icy));
    EXPECT_EQ(w->localPlayer().state(), PlayState::Stopped);
    w->ShowLocalPage();
    w->library().selectRow(0);
    w->surface().SkinClick(w->skin->GetObject(QStringLiteral("btnplay")));
    EXPECT_EQ(w->playback().current(), &w->localPlayer());
    EXPECT_FALSE(w->player().stationPlaying());

    w->player().StopRadioOrRecording();
    w->player().StartStation();
    ASSERT_TRUE(test::waitUntil([&] { return w->player().stationPlaying(); }, 20000));
    EXPECT_EQ(w->localPlayer().state(), PlayState::Stopped);
    w->RunCommandLineStep(); // as at a showing of the window
    EXPECT_EQ(w->playback().current(), &w->localPlayer());
    EXPECT_EQ(w->localPlayer().CurrentFile, file);
    EXPECT_FALSE(w->player().stationPlaying());
    EXPECT_TRUE(unhandled.isEmpty()) << unhandled.join(QLatin1Char('\n')).toStdString();
}

// The playing track's cover (here a picture beside it) shows at the strip's end
// on the library page, and goes with the page and with the end of playback.
TEST_F(LocalPageTest, ThePlayingTracksCoverShowsBesideTheStrip) {
    start();
    QImage picture(64, 64, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(dir.filePath(QStringLiteral("cover.jpg"))));
    w->ShowLocalPage();
    const QRect strip = w->panel_state->geometry();
    ASSERT_TRUE(playFile(*w));
    EXPECT_TRUE(w->lab_cover->isVisible());
    EXPECT_FALSE(w->lab_cover->pixmap().isNull());
    EXPECT_FALSE(w->panel_state->geometry().intersects(w->lab_cover->geometry()));
    EXPECT_LT(w->panel_state->geometry().width(), strip.width());
    w->ShowRadioPage();
    EXPECT_FALSE(w->lab_cover->isVisible());
    w->ShowLocalPage();
    EXPECT_TRUE(w->lab_cover->isVisible());
    w->playback().stop();
    EXPECT_FALSE(w->lab_cover->isVisible());
    EXPECT_EQ(w->panel_state->geometry(), strip);
}

TEST_F(LocalPageTest, TagEditorOpensOnTheSelectedRow) {
    start();
    const QString file = tone(QStringLiteral("t.wav"), 1);
    addRow(QStringLiteral("T"), file);
    w->library().selectRow(0);
    w->findChild<QAction *>(QStringLiteral("ID3Info2"))->trigger();
    EXPECT_TRUE(w->tagEditor()->isVisible());
    EXPECT_EQ(w->tagEditor()->infoFileName->text(), file);

    // A 100-character title gives way: the genre column stays in sight.
    addRow(QString(100, QLatin1Char('W')), file);
    QCoreApplication::processEvents();
    QHeaderView *header = w->lv2->header();
    EXPECT_LE(header->sectionViewportPosition(LibraryCatalogue::GenreColumn) +
                  header->sectionSize(LibraryCatalogue::GenreColumn),
              w->lv2->viewport()->width());
}

TEST_F(LocalPageTest, EnterAndSpaceOnTheSelectedTrackPlayIt) {
    start();
    addRow(QStringLiteral("T"), tone(QStringLiteral("t.wav"), 5));
    w->ShowLocalPage();
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
        w->library().selectRow(0);
        QTest::keyClick(w->lv2, key);
        EXPECT_EQ(w->playback().state(MediaKind::File), PlayState::Playing) << key;
        w->localPlayer().StopPlayback();
    }
}

TEST_F(LocalPageTest, ConversionFromTheListStoppedHalfWayIsHalfLongAndTagged) {
    start();
    addRow(QStringLiteral("Slow Blues"), tone(QStringLiteral("blues.wav"), 16));
    w->ShowLocalPage();
    w->library().lists.currentRow = 0;
    Converter &converter = *w->converter();
    bool recordedWhileConverting = true;
    QObject::connect(converter.pb, &QProgressBar::valueChanged, [&](int value) {
        if (value >= 50 && value < 100 && w->converting()) {
            w->surface().SkinClick(w->skin->GetObject(QStringLiteral("btnrec")));
            recordedWhileConverting = w->recorder().recording();
            QTimer::singleShot(0, converter.btn_convert_stop, &QPushButton::click);
        }
    });
    converter.OGG->trigger();
    const QString output = QDir(dir.filePath(QStringLiteral("out"))).filePath(QStringLiteral("N_blues.ogg"));
    ASSERT_TRUE(QFileInfo::exists(output));
    const test::AudioFacts facts = test::probeAudio(output);
    RecordProperty("output_seconds", QString::number(facts.seconds).toStdString());
    EXPECT_GE(facts.seconds, 7.5);
    EXPECT_LE(facts.seconds, 10.5);
    EXPECT_EQ(facts.title, QStringLiteral("Slow Blues"));
    EXPECT_EQ(facts.genre, QStringLiteral("Blues"));
    EXPECT_FALSE(w->converting());
    EXPECT_FALSE(recordedWhileConverting);
    EXPECT_TRUE(converter.Panel_convert->isHidden());
    EXPECT_TRUE(unhandled.isEmpty()) << unhandled.join(QLatin1Char('\n')).toStdString();
}

} // namespace
