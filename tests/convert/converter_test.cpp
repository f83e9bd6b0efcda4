// ConvertEntry on a library list: stopping half way, the "Stop playing"
// question, naming, tags and the folder step, checked with ffprobe.
#include "Media.h"
#include "common/SettingsFile.h"
#include "convert/Converter.h"
#include "convert/EncoderSetup.h"
#include "platform/audiofile/AudioFile.h"
#include "platform/audiofile/AudioFile2LameEnc.h"
#include "platform/tags/AudioInformation.h"
#include "support/FakePlayer.h"
#include "support/Fakes.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace varnelo {
namespace {

class ConverterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QDir().mkpath(dir.filePath(QStringLiteral("src")));
        converter.outputFolder = [this] { return outFolder; };
        converter.openFolderWhenDone = [this] { return autoOpen; };
        converter.playback = &playback.coordinator;
        converter.stopPlayback = [this] {
            ++playbackStops;
            playback.file.force(PlayState::Stopped);
        };
    }
    // A row as the library list holds it: caption, Artist, Album, Genre, Path.
    void addEntry(const QString &title, const QString &path) {
        list.appendRow({new QStandardItem(title), new QStandardItem(QStringLiteral("The Band")),
                        new QStandardItem(QStringLiteral("First Album")),
                        new QStandardItem(QStringLiteral("Jazz")), new QStandardItem(path)});
    }
    QString source(const QString &name, double seconds) {
        return test::makeTone(dir.filePath(QStringLiteral("src/") + name), 440, seconds, 44100, 2);
    }

    QTemporaryDir dir;
    QString outFolder = dir.filePath(QStringLiteral("out"));
    bool autoOpen = true;
    int playbackStops = 0;
    int currentRow = 0;
    test::FakePlayback playback;
    SettingsFile settings{dir.filePath(QStringLiteral("temp.ini"))};
    FileEncoderSettings encoderSettings{settings};
    EncoderSetup setup{encoderSettings};
    QStandardItemModel list;
    QItemSelectionModel selection{&list};
    AudioFile sourceFile;
    AudioFile outputFile;
    AudioFile2LameEnc encoder;
    AudioInformation tags;
    test::FakePrompts prompts;
    test::FakeShell shell;
    Converter converter{[this] { return currentRow; },
                        list,
                        selection,
                        sourceFile,
                        outputFile,
                        encoder,
                        setup,
                        tags,
                        prompts,
                        shell};
};

TEST_F(ConverterTest, StopHalfWayLeavesAHalfLengthTaggedOutputAndOpensTheFolder) {
    addEntry(QStringLiteral("Long Song"), source(QStringLiteral("long.wav"), 20));
    currentRow = 0;
    bool panelShown = false;
    int selectedWhileRunning = -1;
    QString label;
    // The user clicks "Stop" once the bar has passed half: the click waits in
    // the event queue like a real one until the loop lets events through.
    QObject::connect(converter.pb, &QProgressBar::valueChanged, [&](int value) {
        if (!converter.converting())
            return;
        panelShown = !converter.Panel_convert->isHidden();
        label = converter.lab_convert_name->text();
        if (selectedWhileRunning < 0)
            selectedWhileRunning = selection.selectedRows().value(0).row();
        if (value >= 50 && value < 100) {
            QTimer::singleShot(0, converter.btn_convert_stop, &QPushButton::click);
            // The list is still live: a row removed meanwhile must not change the tags.
            QTimer::singleShot(0, &list, [this] { list.removeRow(0); });
        }
    });
    converter.omp3->trigger();

    const QString output = QDir(outFolder).filePath(QStringLiteral("N_long.mp3"));
    EXPECT_TRUE(panelShown);
    EXPECT_EQ(selectedWhileRunning, 0);
    EXPECT_EQ(label, output + QStringLiteral("  "));
    EXPECT_FALSE(converter.converting());
    EXPECT_TRUE(converter.Panel_convert->isHidden());
    EXPECT_EQ(converter.pb->value(), 0);
    EXPECT_EQ(converter.lastOutput(), output);
    const test::AudioFacts p = test::probeAudio(output);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.codec, QStringLiteral("mp3"));
    RecordProperty("output_seconds", QString::number(p.seconds).toStdString());
    EXPECT_GE(p.seconds, 9.5);
    EXPECT_LE(p.seconds, 12.5);
    EXPECT_EQ(p.title, QStringLiteral("Long Song"));
    EXPECT_EQ(p.artist, QStringLiteral("The Band"));
    EXPECT_EQ(p.album, QStringLiteral("First Album"));
    EXPECT_EQ(p.genre, QStringLiteral("Jazz"));
    EXPECT_EQ(shell.openedFolders.size(), 1);
    EXPECT_EQ(QDir(shell.openedFolders.value(0)).absolutePath(), QDir(outFolder).absolutePath());
}

TEST_F(ConverterTest, WholeConversionToWavCarriesNoTagsOfAnEarlierFile) {
    addEntry(QStringLiteral("first"), source(QStringLiteral("one.wav"), 1));
    addEntry(QStringLiteral("Short"), source(QStringLiteral("short.wav"), 3));
    currentRow = 1;
    autoOpen = false;
    // The component last read a file with a comment and a composer.
    const QString tagged = dir.filePath(QStringLiteral("src/tagged.mp3"));
    test::run(QStringLiteral("ffmpeg"),
              {QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-f"),
               QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("sine=duration=1"),
               QStringLiteral("-metadata"), QStringLiteral("comment=stale"), QStringLiteral("-metadata"),
               QStringLiteral("composer=Somebody"), tagged});
    tags.LoadInfo(tagged);
    ASSERT_EQ(tags.infoComments(), QStringLiteral("stale"));

    converter.owav->trigger();
    const QString output = QDir(outFolder).filePath(QStringLiteral("N_short.wav"));
    const test::AudioFacts p = test::probeAudio(output);
    ASSERT_TRUE(p.ok);
    EXPECT_NEAR(p.seconds, 3.0, 0.05);
    EXPECT_EQ(p.title, QStringLiteral("Short"));
    AudioInformation check;
    check.LoadInfo(output);
    EXPECT_EQ(check.infoTitle(), QStringLiteral("Short"));
    EXPECT_TRUE(check.infoComments().isEmpty());
    EXPECT_TRUE(check.infoComposer().isEmpty());
    EXPECT_TRUE(shell.openedFolders.isEmpty());
}

TEST_F(ConverterTest, StopPlayingQuestionDecides) {
    const QString src = source(QStringLiteral("song.wav"), 1);
    addEntry(QStringLiteral("Song"), src);
    currentRow = 0;
    playback.file.force(PlayState::Playing);
    prompts.answers = {PromptAnswer::Cancel};
    converter.owav->trigger();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, QStringLiteral("Stop playing"));
    EXPECT_EQ(prompts.shown[0].caption, dialogCaption());
    EXPECT_EQ(prompts.shown[0].icon, PromptIcon::Question);
    EXPECT_EQ(prompts.shown[0].buttons, PromptButtons::OkCancel);
    EXPECT_EQ(playbackStops, 0);
    EXPECT_EQ(playback.file.state(), PlayState::Playing);
    EXPECT_FALSE(QFileInfo::exists(outFolder));

    prompts.answers = {PromptAnswer::Ok};
    converter.owav->trigger();
    EXPECT_EQ(playbackStops, 1);
    EXPECT_TRUE(QFileInfo::exists(QDir(outFolder).filePath(QStringLiteral("N_song.wav"))));
    // The source is never the output, even in its own folder.
    outFolder = dir.filePath(QStringLiteral("src"));
    converter.owav->trigger();
    EXPECT_TRUE(QFileInfo::exists(QDir(outFolder).filePath(QStringLiteral("N_song.wav"))));
    EXPECT_EQ(test::probeAudio(src).title, QString());
}

TEST_F(ConverterTest, NothingHappensWithoutAnEntryAndAFailureIsSaid) {
    converter.ConvertEntry();
    EXPECT_FALSE(converter.converting());
    EXPECT_TRUE(prompts.shown.empty());

    addEntry(QStringLiteral("Gone"), dir.filePath(QStringLiteral("src/gone.wav")));
    currentRow = 0;
    converter.omp3->trigger();
    EXPECT_FALSE(converter.converting());
    EXPECT_TRUE(converter.Panel_convert->isHidden());
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_TRUE(prompts.shown[0].text.contains(QStringLiteral("gone.wav")));
    EXPECT_FALSE(QFileInfo::exists(QDir(outFolder).filePath(QStringLiteral("N_gone.mp3"))));
    EXPECT_TRUE(shell.openedFolders.isEmpty());
}

} // namespace
} // namespace varnelo
