// The tag editor offscreen: what it shows, what Apply refuses, what it writes
// into the file (checked with ffprobe and the raw bytes) and into the library.
#include "library/TagEditor.h"
#include "library_fixtures.h"
#include "support/AudioCheck.h"
#include "support/FakePlayer.h"
#include "support/Files.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>

namespace varnelo::test {
namespace {

QString runTool(const QString &program, const QStringList &args) {
    QProcess p;
    p.start(program, args);
    EXPECT_TRUE(p.waitForFinished(60000) && p.exitCode() == 0) << p.readAllStandardError().constData();
    return QString::fromUtf8(p.readAllStandardOutput());
}

class TagEditorTest : public LibraryFixture {
protected:
    // One second of MP3; `metadata` as ffmpeg's -metadata pairs, none: no tag at all.
    QString mp3(const QString &name, const QStringList &metadata = {}) {
        const QString path = mediaFile(name);
        QStringList args = {QStringLiteral("-loglevel"),
                            QStringLiteral("error"),
                            QStringLiteral("-y"),
                            QStringLiteral("-f"),
                            QStringLiteral("lavfi"),
                            QStringLiteral("-i"),
                            QStringLiteral("sine=frequency=440:duration=1"),
                            QStringLiteral("-ar"),
                            QStringLiteral("44100")};
        if (metadata.isEmpty())
            args << QStringLiteral("-map_metadata") << QStringLiteral("-1")
                 << QStringLiteral("-id3v2_version") << QStringLiteral("0") << QStringLiteral("-write_xing")
                 << QStringLiteral("0");
        for (const QString &m : metadata)
            args << QStringLiteral("-metadata") << m;
        runTool(QStringLiteral("ffmpeg"), args << path);
        return path;
    }
    template <typename T> T *control(const char *name) {
        T *c = editor.findChild<T *>(QLatin1String(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    void setText(const char *name, const QString &text) { control<QLineEdit>(name)->setText(text); }
    void apply() { control<QPushButton>("btnApply")->click(); }

    FakeShell shell;
    TagEditor editor{page, prompts, shell, &library};
};

TEST_F(TagEditorTest, EveryControlIsThereAndShowsTheFile) {
    const QString path =
        mp3(QStringLiteral("a.mp3"),
            {QStringLiteral("title=Song"), QStringLiteral("artist=Band"), QStringLiteral("album=Disc"),
             QStringLiteral("genre=Jazz"), QStringLiteral("comment=Fine")});
    EXPECT_EQ(editor.objectName(), QStringLiteral("fm_id3"));
    EXPECT_EQ(editor.windowTitle(), QStringLiteral("Tags"));
    EXPECT_EQ(control<QLineEdit>("infoFileName")->text(), QStringLiteral("Enter File Name"));
    EXPECT_EQ(control<QComboBox>("infoGenre")->count(), 148);
    EXPECT_EQ(control<QComboBox>("infoGenre")->itemText(1), QStringLiteral("Classic Rock"));
    EXPECT_TRUE(control<QRadioButton>("ID3v2")->isChecked());
    EXPECT_EQ(control<QPushButton>("Button2")->text(), QStringLiteral("Exit"));
    EXPECT_EQ(control<QPushButton>("btn_open")->text(), QStringLiteral("open"));
    EXPECT_EQ(control<QPushButton>("btnReset")->text(), QStringLiteral("Reset"));
    for (const char *fact : {"infoFrequency", "infoBitrate", "infoDuration", "infoChannels", "infoSamples",
                             "infoSize", "infoBitsPerSample", "infoFormatTag"}) {
        EXPECT_FALSE(control<QLineEdit>(fact)->isEnabled()) << fact;
        EXPECT_TRUE(control<QLineEdit>(fact)->isReadOnly()) << fact;
    }
    EXPECT_TRUE(control<QLineEdit>("infoFormatString")->isReadOnly());
    // Until the user picks a version the component keeps its own default.
    EXPECT_EQ(editor.AudioInformation1.infoMTV(), 0);
    EXPECT_TRUE(editor.AudioInformation1.infoOption());

    editor.Open(path);
    EXPECT_TRUE(editor.isVisible());
    EXPECT_EQ(control<QLineEdit>("infoFileName")->text(), path);
    EXPECT_EQ(editor.windowTitle(), QStringLiteral("Tags – ") + QFileInfo(path).fileName());
    EXPECT_EQ(control<QLineEdit>("infoTitle")->text(), QStringLiteral("Song"));
    EXPECT_EQ(control<QLineEdit>("infoArtist")->text(), QStringLiteral("Band"));
    EXPECT_EQ(control<QLineEdit>("infoAlbum")->text(), QStringLiteral("Disc"));
    EXPECT_EQ(control<QComboBox>("infoGenre")->currentText(), QStringLiteral("Jazz"));
    EXPECT_EQ(control<QLineEdit>("infoComment")->text(), QStringLiteral("Fine"));
    EXPECT_EQ(control<QLineEdit>("infoYear")->text(), QStringLiteral("0"));
    EXPECT_EQ(control<QLineEdit>("infoFrequency")->text(), QStringLiteral("44100 Hz"));
    EXPECT_TRUE(control<QLineEdit>("infoBitrate")->text().endsWith(QStringLiteral(" bps")));
    EXPECT_TRUE(control<QLineEdit>("infoDuration")->text().endsWith(QStringLiteral(" ms")));
    EXPECT_EQ(control<QLineEdit>("infoChannels")->text(), QStringLiteral("1"));

    control<QPushButton>("btn_open")->click();
    EXPECT_EQ(shell.openedFolders, QStringList{QFileInfo(path).absolutePath()});
    control<QPushButton>("Button2")->click();
    EXPECT_FALSE(editor.isVisible());
}

TEST_F(TagEditorTest, BadYearOrTrackStopsApplyBeforeTheFileIsTouched) {
    const QString path = mp3(QStringLiteral("a.mp3"), {QStringLiteral("title=Song")});
    const QByteArray before = readBytes(path);
    page.show(Page::Radio);
    editor.Open(path);
    setText("infoTitle", QStringLiteral("Changed"));

    setText("infoYear", QString());
    apply();
    EXPECT_EQ(prompts.plainShown, std::vector<QString>{QStringLiteral("Invalid Year Value")});
    EXPECT_EQ(readBytes(path), before);
    // What came before the bad field is set in the component only.
    EXPECT_EQ(editor.AudioInformation1.infoTitle(), QStringLiteral("Changed"));

    setText("infoYear", QStringLiteral("0"));
    for (const QString &bad : {QStringLiteral("x"), QStringLiteral("70000"), QStringLiteral("-1")}) {
        prompts.plainShown.clear();
        setText("infoTrack", bad);
        apply();
        EXPECT_EQ(prompts.plainShown, std::vector<QString>{QStringLiteral("Invalid Track Value")})
            << bad.toStdString();
        EXPECT_EQ(readBytes(path), before);
    }

    prompts.plainShown.clear();
    setText("infoTrack", QStringLiteral("7"));
    setText("infoYear", QStringLiteral("1999"));
    apply();
    EXPECT_TRUE(prompts.plainShown.empty());
    const auto tags = test::probeAudio(path).tags;
    EXPECT_EQ(tags.value(QStringLiteral("title")), QStringLiteral("Changed"));
    EXPECT_EQ(tags.value(QStringLiteral("track")), QStringLiteral("7"));
    EXPECT_TRUE(tags.value(QStringLiteral("date")).startsWith(QStringLiteral("1999")));
}

TEST_F(TagEditorTest, PickedTagVersionDecidesWhatAnUntaggedMp3Gets) {
    const QString v1 = mp3(QStringLiteral("v1.mp3"));
    const QString v2 = mp3(QStringLiteral("v2.mp3"));
    page.show(Page::Radio);

    editor.Open(v1);
    control<QRadioButton>("ID3v1")->click();
    EXPECT_EQ(editor.AudioInformation1.infoMTV(), 1);
    setText("infoTitle", QStringLiteral("Only One"));
    apply();
    QByteArray bytes = readBytes(v1);
    EXPECT_FALSE(bytes.startsWith("ID3"));
    EXPECT_TRUE(bytes.right(128).startsWith("TAGOnly One"));

    editor.Open(v2);
    control<QRadioButton>("ID3v2")->click();
    EXPECT_EQ(editor.AudioInformation1.infoMTV(), 2);
    setText("infoTitle", QStringLiteral("Second"));
    apply();
    bytes = readBytes(v2);
    EXPECT_TRUE(bytes.startsWith("ID3"));
    EXPECT_FALSE(bytes.right(128).startsWith("TAG"));
    EXPECT_EQ(test::probeAudio(v2).tags.value(QStringLiteral("title")), QStringLiteral("Second"));
}

TEST_F(TagEditorTest, ApplyOnTheLocalPageReplacesTheRecordOfTheEditedRow) {
    const QString a = mp3(QStringLiteral("a.mp3"), {QStringLiteral("title=A")});
    const QString b = mp3(QStringLiteral("b.mp3"), {QStringLiteral("title=B")});
    write(QStringLiteral("music.dat"),
          {track(QStringLiteral("A"), QStringLiteral("Old"), QStringLiteral("X"), a),
           track(QStringLiteral("B"), QStringLiteral("Other"), QStringLiteral("Y"), b)});
    showRoot(LibraryCatalogue::AllTitleRoot);
    library.EnsureArtistNode(QStringLiteral("Old"));
    library.selectRow(0);
    editor.Open(a);
    // The window is modeless: the selection moves on while it is open.
    library.selectRow(1);
    setText("infoTitle", QStringLiteral("Renamed"));
    setText("infoArtist", QStringLiteral("New Band"));
    setText("infoAlbum", QString());
    control<QComboBox>("infoGenre")->setCurrentIndex(1);
    apply();

    const auto records = read(QStringLiteral("music.dat"));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].Title, QStringLiteral("B"));
    EXPECT_EQ(records[1].Title, QStringLiteral("Renamed"));
    EXPECT_EQ(records[1].Artist, QStringLiteral("New Band"));
    EXPECT_EQ(records[1].Album, QStringLiteral("Unknown Album"));
    EXPECT_EQ(records[1].Genre, QStringLiteral("Classic Ro"));
    EXPECT_EQ(records[1].Path, a);
    EXPECT_EQ(listTitles(), (QStringList{QStringLiteral("B"), QStringLiteral("Renamed")}));
    EXPECT_EQ(library.selectedRow(), 1);
    EXPECT_TRUE(children(LibraryCatalogue::MyArtistRoot).contains(QStringLiteral("New Band")));
    EXPECT_FALSE(children(LibraryCatalogue::MyArtistRoot).contains(QStringLiteral("Old")));
    EXPECT_EQ(test::probeAudio(a).tags.value(QStringLiteral("genre")), QStringLiteral("Classic Rock"));

    // An empty title becomes the file's name.
    editor.Open(b);
    setText("infoTitle", QString());
    apply();
    EXPECT_EQ(read(QStringLiteral("music.dat")).back().Title, QStringLiteral("b.mp3"));
}

// Apply on a file whose tag header claims most of its audio: the write is
// refused, the file and its record stay, and the user reads why.
TEST_F(TagEditorTest, ApplyThatWouldCutTheAudioLeavesFileAndRecord) {
    const QByteArray audio = readBytes(mp3(QStringLiteral("plain.mp3")));
    const int declared = int(audio.size()) - 2000;
    const char size[] = {char((declared >> 21) & 0x7F), char((declared >> 14) & 0x7F),
                         char((declared >> 7) & 0x7F), char(declared & 0x7F)};
    const QByteArray damaged = QByteArray("ID3\x03\0\0", 6) + QByteArray(size, 4) + "TIT2" +
                               QByteArray("\0\0\0\x04\0\0\0", 7) + "Old" + audio;
    const QString file = mediaFile(QStringLiteral("lying.mp3"));
    writeBytes(file, damaged);
    write(QStringLiteral("music.dat"),
          {track(QStringLiteral("Old"), QStringLiteral("X"), QStringLiteral("Y"), file)});
    showRoot(LibraryCatalogue::AllTitleRoot);
    library.selectRow(0);
    editor.Open(file);
    setText("infoTitle", QStringLiteral("New"));
    apply();

    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].caption, dialogCaption());
    EXPECT_EQ(editor.lab_status->text(), QStringLiteral("Nothing was written."));
    EXPECT_TRUE(prompts.shown[0].text.contains(file) &&
                prompts.shown[0].text.contains(QStringLiteral("left as it was")))
        << prompts.shown[0].text.toStdString();
    EXPECT_EQ(readBytes(file), damaged);
    EXPECT_EQ(read(QStringLiteral("music.dat")).front().Title, QStringLiteral("Old"));
    EXPECT_EQ(listTitles(), QStringList{QStringLiteral("Old")});
    EXPECT_TRUE(editor.isVisible()); // the window stays for another try
}

TEST_F(TagEditorTest, FavoriteKeepsItsPlaceInFavoritesWithTheNewTags) {
    const QString a = mp3(QStringLiteral("a.mp3"), {QStringLiteral("title=A")});
    write(QStringLiteral("music.dat"),
          {track(QStringLiteral("A"), QStringLiteral("X"), QStringLiteral("Y"), a)});
    write(QStringLiteral("fav.dat"),
          {track(QStringLiteral("A"), QStringLiteral("X"), QStringLiteral("Y"), a)});
    showRoot(LibraryCatalogue::FavoritesRoot);
    library.selectRow(0);
    editor.Open(a);
    setText("infoTitle", QStringLiteral("Loved"));
    apply();
    EXPECT_EQ(titles(QStringLiteral("fav.dat")), QStringList{QStringLiteral("Loved")});
    EXPECT_EQ(titles(QStringLiteral("music.dat")), QStringList{QStringLiteral("Loved")});
    EXPECT_EQ(listTitles(), QStringList{QStringLiteral("Loved")});
}

TEST_F(TagEditorTest, RadioPageAndPlayingLeaveTheLibraryAlone) {
    const QString a = mp3(QStringLiteral("a.mp3"), {QStringLiteral("title=A")});
    write(QStringLiteral("music.dat"),
          {track(QStringLiteral("A"), QStringLiteral("X"), QStringLiteral("Y"), a)});
    const QByteArray music = readBytes(data(QStringLiteral("music.dat")));
    editor.Open(a);

    FakePlayback playback;
    editor.playback = &playback.coordinator;
    playback.file.force(PlayState::Playing);
    setText("infoTitle", QStringLiteral("Ignored"));
    const QByteArray file = readBytes(a);
    apply();
    EXPECT_EQ(readBytes(a), file);
    EXPECT_TRUE(editor.lab_status->text().contains(QStringLiteral("a file is playing")));
    EXPECT_TRUE(editor.AudioInformation1.infoTitle() == QStringLiteral("A"));

    playback.file.force(PlayState::Stopped);
    page.show(Page::Radio);
    apply();
    EXPECT_EQ(test::probeAudio(a).tags.value(QStringLiteral("title")), QStringLiteral("Ignored"));
    EXPECT_EQ(editor.lab_status->text(), QStringLiteral("Tags written to a.mp3."));
    EXPECT_EQ(readBytes(data(QStringLiteral("music.dat"))), music);
}

TEST_F(TagEditorTest, WhatOthersLeftInTheSharedComponentIsNotWritten) {
    const QString a = mp3(QStringLiteral("a.mp3"), {QStringLiteral("title=A")});
    page.show(Page::Radio);
    editor.Open(a);
    // A conversion tags its output through the same component meanwhile.
    editor.AudioInformation1.ClearInfo();
    editor.AudioInformation1.setInfoGenreS(QStringLiteral("Odd Genre"));
    editor.AudioInformation1.setInfoComposer(QStringLiteral("Somebody"));
    setText("infoTitle", QStringLiteral("B"));
    apply();
    const auto tags = test::probeAudio(a).tags;
    EXPECT_EQ(tags.value(QStringLiteral("title")), QStringLiteral("B"));
    EXPECT_FALSE(tags.contains(QStringLiteral("genre")));
    EXPECT_FALSE(tags.contains(QStringLiteral("composer")));
}

TEST_F(TagEditorTest, ResetRestoresEveryControlFromTheFile) {
    const QString a = mp3(QStringLiteral("a.mp3"), {QStringLiteral("title=A"), QStringLiteral("artist=X")});
    editor.Open(a);
    setText("infoFileName", QStringLiteral("/elsewhere/z.mp3"));
    setText("infoTitle", QStringLiteral("edited"));
    setText("infoArtist", QStringLiteral("edited"));
    control<QComboBox>("infoGenre")->setCurrentIndex(5);
    control<QPushButton>("btnReset")->click();
    EXPECT_EQ(control<QLineEdit>("infoFileName")->text(), a);
    EXPECT_EQ(control<QLineEdit>("infoTitle")->text(), QStringLiteral("A"));
    EXPECT_EQ(control<QLineEdit>("infoArtist")->text(), QStringLiteral("X"));
    EXPECT_EQ(control<QComboBox>("infoGenre")->currentIndex(), -1);

    // A file gone since: the text of the failure is shown, the window stays.
    QFile::remove(a);
    control<QPushButton>("btnReset")->click();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_TRUE(prompts.shown[0].text.contains(a));
}

TEST_F(TagEditorTest, ShowsTheGainAndItsButtonsAddReplaceAndRemoveTheCover) {
    const QString path = mp3(QStringLiteral("c.mp3"), {QStringLiteral("title=Song")});
    AudioInformation().SaveFields(path,
                                  {{QStringLiteral("REPLAYGAIN_TRACK_GAIN"), QStringLiteral("-3.21 dB")},
                                   {QStringLiteral("REPLAYGAIN_TRACK_PEAK"), QStringLiteral("0.500000")}});
    const QString png = mediaFile(QStringLiteral("c.png")), jpeg = mediaFile(QStringLiteral("c.jpg"));
    ASSERT_TRUE(QImage(300, 200, QImage::Format_RGB32).save(png) &&
                QImage(80, 100, QImage::Format_RGB32).save(jpeg));
    editor.Open(path);
    EXPECT_EQ(control<QLineEdit>("infoTrackGain")->text(), QStringLiteral("-3.21 dB, peak 0.500000"));
    EXPECT_EQ(control<QLineEdit>("infoAlbumGain")->text(), QString());
    // Picked image (none: cancelled), button, then the cover's tip, the picture's size and the buttons.
    using Step = std::tuple<QStringList, const char *, const char *, QSize, const char *>;
    for (const auto &[picked, button, tip, shown, add] :
         {Step{{}, "btnCover", "", QSize(0, 0), "Add Cover..."},
          Step{{png}, "btnCover", "300x200 image/png", QSize(160, 106), "Replace Cover..."},
          Step{{jpeg}, "btnCover", "80x100 image/jpeg", QSize(128, 160), "Replace Cover..."},
          Step{{}, "btnRemoveCover", "", QSize(0, 0), "Add Cover..."}}) {
        SCOPED_TRACE(tip);
        prompts.filesToOpen = picked;
        control<QPushButton>(button)->click();
        const QString image = picked.isEmpty() ? QString() : picked.first();
        EXPECT_EQ(AudioInformation().LoadCover(path).data, image.isEmpty() ? QByteArray() : readBytes(image));
        EXPECT_EQ(control<QLabel>("infoCover")->toolTip(), QLatin1String(tip));
        EXPECT_EQ(control<QLabel>("infoCover")->pixmap().size(), shown);
        EXPECT_EQ(control<QPushButton>("btnCover")->text(), QLatin1String(add));
        EXPECT_EQ(control<QPushButton>("btnRemoveCover")->isEnabled(), !image.isEmpty());
    }
}

} // namespace
} // namespace varnelo::test
