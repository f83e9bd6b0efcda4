#include "options/OptionsDialog.h"
#include "common/SettingsFile.h"
#include "common/SettingsKeys.h"
#include "common/ShownPage.h"
#include "convert/EncoderSetup.h"
#include "options/RadioGroup.h"
#include "platform/audiofile/AudioFile.h"
#include "rip/CdSettings.h"
#include "support/Fakes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace varnelo {
namespace {

class OptionsDialogTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString iniPath = dir.filePath(QStringLiteral("temp.ini"));
    SettingsFile settings{iniPath};
    SetPage page;
    test::FakePrompts prompts;
    std::unique_ptr<OptionsDialog> dialog = std::make_unique<OptionsDialog>(settings, page, prompts);

    template <class T> T *w(const char *name) {
        T *found = dialog->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QComboBox *combo(const char *name) { return w<QComboBox>(name); }
    QCheckBox *check(const char *name) { return w<QCheckBox>(name); }
    QSpinBox *spin(const char *name) { return w<QSpinBox>(name); }
    bool enabled(const char *name) { return w<QWidget>(name)->isEnabled(); }
    QString fileText() {
        QFile f(iniPath);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    void reopen() { dialog = std::make_unique<OptionsDialog>(settings, page, prompts); }
};

TEST_F(OptionsDialogTest, EmptySettingsShowDialogDefaults) {
    dialog->LoadOptions();
    EXPECT_EQ(combo("cb_mp3_bitrate")->currentIndex(), 9);
    EXPECT_EQ(combo("cb_mp3_channel")->currentIndex(), 1);
    EXPECT_EQ(combo("cb_mp3_frequency")->currentIndex(), 7);
    EXPECT_EQ(spin("ud_mp3_quality")->value(), 5);
    EXPECT_EQ(combo("cb_mp3vbrcm")->currentIndex(), 0);
    EXPECT_TRUE(check("ck_mp3_VBR")->isChecked());
    EXPECT_EQ(spin("udLFiltF")->value(), 15160);
    EXPECT_EQ(spin("udLFiltW")->value(), 750);
    EXPECT_TRUE(check("ck_bit")->isChecked());
    EXPECT_TRUE(check("ck_short")->isChecked());
    EXPECT_EQ(w<RadioGroup>("rb_cdmode")->itemIndex(), 0);
    EXPECT_EQ(combo("cb_wav_bit")->currentIndex(), 5);
    EXPECT_EQ(combo("cb_wav_frequency")->currentIndex(), 7);
    EXPECT_EQ(combo("cb_wma")->currentIndex(), 46);
    EXPECT_EQ(spin("ud_ogg_quality")->value(), 300);
    EXPECT_EQ(spin("ud_retries")->value(), 5);
    EXPECT_TRUE(w<QRadioButton>("cd_g0")->isChecked());
    EXPECT_TRUE(w<QRadioButton>("cd_a1")->isChecked());
    EXPECT_EQ(w<RadioGroup>("rg_freedbserver")->itemIndex(), 1);
    EXPECT_EQ(w<QLineEdit>("edt_port")->text(), QStringLiteral("80"));
    EXPECT_EQ(w<QLineEdit>("edt_timeout")->text(), QStringLiteral("10000"));
    EXPECT_TRUE(check("cb_auto")->isChecked());
    EXPECT_EQ(w<QLineEdit>("ed_out")->text(), defaultOutputFolder() + QDir::separator());
    // Node 0 and its page, and the schedule disabled.
    EXPECT_EQ(w<QTreeWidget>("TreeView1")->currentItem()->text(0), QStringLiteral("More Set"));
    EXPECT_EQ(w<QLabel>("set_lb")->text(), QStringLiteral("Schedule"));
    EXPECT_TRUE(w<QGroupBox>("gb_set")->isVisibleTo(dialog.get()));
    EXPECT_FALSE(w<QGroupBox>("gb_ogg")->isVisibleTo(dialog.get()));
    EXPECT_TRUE(w<QRadioButton>("RadioButton1")->isChecked());
    EXPECT_EQ(dialog->scheduleMode(), 0);
    EXPECT_FALSE(enabled("date_time"));
    EXPECT_FALSE(enabled("Begintime1"));
    EXPECT_FALSE(enabled("cb_rec3"));
    // Loading writes nothing.
    EXPECT_FALSE(QFile::exists(iniPath));
}

TEST_F(OptionsDialogTest, SaveWritesEverySectionInOrderAndLoadsItBack) {
    dialog->LoadOptions();
    combo("cb_mp3_bitrate")->setCurrentIndex(3);
    combo("cb_mp3vbrcm")->setCurrentIndex(4);
    spin("ud_mp3_vbr")->setValue(2);
    check("chLFilt")->setChecked(true);
    spin("udLFiltF")->setValue(17000);
    check("ck_crc")->setChecked(true);
    combo("cb_de")->setCurrentIndex(2);
    check("ck_alt")->setChecked(true);
    w<RadioGroup>("rg_alt")->setItemIndex(4);
    w<RadioGroup>("rb_cdmode")->setItemIndex(2);
    combo("cb_wav_bit")->setCurrentIndex(1);
    combo("cb_wma")->setCurrentIndex(12);
    check("ck_oggquality")->setChecked(true);
    spin("ud_ogg_quality")->setValue(640);
    w<QRadioButton>("cd_g2")->click();
    w<QRadioButton>("cd_a3")->click();
    spin("ud_offset")->setValue(-1164);
    w<QLineEdit>("edt_proxy")->setText(QStringLiteral("proxy.local:3128"));
    check("cb_auto")->setChecked(false);
    combo("set_cb_name")->setCurrentIndex(2);
    combo("scmb")->setCurrentIndex(2);
    w<QRadioButton>("RadioButton2")->click();
    check("cb_rec2")->setChecked(true);
    w<QTimeEdit>("begintime2")->setTime(QTime(7, 30, 15));
    w<QTimeEdit>("endtime2")->setTime(QTime(8, 0, 0));
    w<QPlainTextEdit>("txtCommLine")->setPlainText(QStringLiteral("--noshort"));
    check("ck_broadcast")->setChecked(true);
    combo("cb_opus_mode")->setCurrentIndex(2);
    int writes = 0; // OK stores the whole dialog in one write
    settings.setByteWriter([&](QIODevice &out, const QByteArray &bytes, QString &) {
        ++writes;
        return out.write(bytes) == bytes.size();
    });
    dialog->OkClick();
    EXPECT_EQ(writes, 1);

    const QString text = fileText();
    QStringList sections;
    for (const QString &line : text.split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1Char('[')))
            sections << line.trimmed();
    EXPECT_EQ(sections.join(QLatin1Char(' ')).toStdString(),
              std::string("[mp3] [MP3VBR] [MP3Filt] [MP3Expert] [MP3Prest] [wav] [wma] [ogg] [flac] [opus] "
                          "[Format] [Freedb] [auto] [Time] [timeclose] [set] [autorec] [rec] [desktop]"));
    EXPECT_EQ(settings.readInteger(QStringLiteral("mp3"), QStringLiteral("bitrate"), -9), 3);
    EXPECT_EQ(settings.readInteger(QStringLiteral("MP3VBR"), QStringLiteral("Coding Method"), -9), 4);
    EXPECT_EQ(settings.readString(QStringLiteral("MP3Expert"), QStringLiteral("crc"), {}),
              QStringLiteral("1"));
    EXPECT_EQ(settings.readInteger(QStringLiteral("Format"), QStringLiteral("mode"), -9), 2);
    EXPECT_EQ(settings.readInteger(QStringLiteral("Format"), QStringLiteral("stop"), -9), 2);
    EXPECT_EQ(settings.readInteger(QStringLiteral("Format"), QStringLiteral("offset"), -9), -1164);
    EXPECT_EQ(settings.readInteger(QStringLiteral("set"), QStringLiteral("out_formt"), -9), 2);
    EXPECT_EQ(settings.readInteger(QStringLiteral("autorec"), QStringLiteral("format"), -9), 1);
    EXPECT_EQ(settings.readString(QStringLiteral("autorec"), QStringLiteral("begintime2"), {}),
              QStringLiteral("07:30:15"));
    EXPECT_EQ(settings.readInteger(QStringLiteral("rec"), QStringLiteral("broadcast"), -9), 1);
    EXPECT_EQ(settings.readInteger(QStringLiteral("rec"), QStringLiteral("split"), -9), 0);
    // The memo lasts for the run only.
    EXPECT_FALSE(text.contains(QStringLiteral("noshort")));
    EXPECT_EQ(dialog->mp3CommandLine(), QStringLiteral("--noshort"));

    SetPage fresh;
    OptionsDialog again(settings, fresh, prompts);
    again.LoadOptions();
    auto c = [&](const char *n) { return again.findChild<QComboBox *>(QString::fromLatin1(n)); };
    EXPECT_EQ(c("cb_mp3_bitrate")->currentIndex(), 3);
    EXPECT_EQ(c("cb_mp3vbrcm")->currentIndex(), 4);
    EXPECT_EQ(again.findChild<QSpinBox *>(QStringLiteral("udLFiltF"))->value(), 17000);
    EXPECT_EQ(c("cb_de")->currentIndex(), 2);
    EXPECT_EQ(again.findChild<RadioGroup *>(QStringLiteral("rg_alt"))->itemIndex(), 4);
    EXPECT_EQ(c("cb_wav_bit")->currentIndex(), 1);
    EXPECT_TRUE(c("cb_wav_bit")->isEnabled());
    EXPECT_EQ(c("cb_wma")->currentIndex(), 12);
    EXPECT_EQ(c("cb_opus_mode")->currentIndex(), 2);
    EXPECT_EQ(again.findChild<QSpinBox *>(QStringLiteral("ud_ogg_quality"))->value(), 640);
    EXPECT_TRUE(again.findChild<QSpinBox *>(QStringLiteral("ud_ogg_quality"))->isEnabled());
    EXPECT_EQ(again.grabMode(), 2);
    EXPECT_EQ(again.errorAction(), 2);
    EXPECT_EQ(again.scheduleMode(), 1);
    EXPECT_TRUE(again.findChild<QRadioButton *>(QStringLiteral("cd_g2"))->isChecked());
    EXPECT_EQ(again.findChild<QLineEdit *>(QStringLiteral("edt_proxy"))->text(),
              QStringLiteral("proxy.local:3128"));
    EXPECT_FALSE(again.openFolderWhenDone());
    EXPECT_EQ(again.recordNaming(), 2);
    EXPECT_TRUE(again.scheduleSlot(1).on);
    EXPECT_EQ(again.scheduleSlot(1).begin, QTime(7, 30, 15));
    EXPECT_TRUE(again.scheduleSlot(1).begin.isValid());
    EXPECT_EQ(again.recordFormat(), 2); // the recording format of the last run
    EXPECT_TRUE(again.mp3CommandLine().isEmpty());
}

TEST_F(OptionsDialogTest, GrabModeOutsideRangeIsKeptAndWrittenBack) {
    settings.writeInteger(QStringLiteral("Format"), QStringLiteral("mode"), 7);
    settings.writeInteger(QStringLiteral("Format"), QStringLiteral("stop"), -3);
    dialog->LoadOptions();
    for (const char *n : {"cd_g0", "cd_g1", "cd_g2", "cd_g3", "cd_a1", "cd_a2", "cd_a3"})
        EXPECT_FALSE(w<QRadioButton>(n)->isChecked()) << n;
    EXPECT_EQ(dialog->grabMode(), 7);
    EXPECT_EQ(dialog->errorAction(), -3);
    dialog->SaveOptions();
    EXPECT_EQ(settings.readInteger(QStringLiteral("Format"), QStringLiteral("mode"), 0), 7);
    EXPECT_EQ(settings.readInteger(QStringLiteral("Format"), QStringLiteral("stop"), 0), -3);
    // A click sets it again.
    w<QRadioButton>("cd_g1")->click();
    EXPECT_EQ(dialog->grabMode(), 1);
}

TEST_F(OptionsDialogTest, EverySectionOfTheTimeFieldsTypes) {
    dialog->show();
    for (const char *name : {"Begintime1", "endtime2", "begintime3", "dtpTime"})
        for (const std::string keys : {"09:15:00", "H09:15:00", "091500"}) { // H: the Home key
            SCOPED_TRACE(name + (", " + keys));
            auto *field = w<QTimeEdit>(name);
            field->setEnabled(true);
            field->setTime(QTime(16, 47, 33));
            QTest::mouseClick(field->findChild<QLineEdit *>(), Qt::LeftButton, {}, QPoint(4, 4)); // the hour
            for (const char ch : keys) {
                if (ch == ':') // as a keyboard types it: Shift goes down first
                    QTest::keyPress(field, Qt::Key_Shift);
                ch == 'H' ? QTest::keyClick(field, Qt::Key_Home) : QTest::keyClick(field, ch);
            }
            EXPECT_EQ(field->time().toString().toStdString(), "09:15:00");
        }
}

TEST_F(OptionsDialogTest, ScheduleModeOnlyChangesThroughItsButtons) {
    settings.writeInteger(QStringLiteral("autorec"), QStringLiteral("format"), 2);
    dialog->LoadOptions();
    EXPECT_EQ(dialog->scheduleMode(), 2);
    EXPECT_TRUE(enabled("date_time"));
    EXPECT_TRUE(enabled("endtime3"));
    settings.writeInteger(QStringLiteral("autorec"), QStringLiteral("format"), 5);
    dialog->LoadOptions();
    EXPECT_EQ(dialog->scheduleMode(), 2);
    EXPECT_TRUE(w<QRadioButton>("RadioButton3")->isChecked());
    w<QRadioButton>("RadioButton2")->click();
    EXPECT_EQ(dialog->scheduleMode(), 1);
    EXPECT_FALSE(enabled("date_time"));
    EXPECT_TRUE(enabled("cb_rec1"));
    w<QRadioButton>("RadioButton1")->click();
    EXPECT_EQ(dialog->scheduleMode(), 0);
    EXPECT_FALSE(enabled("cb_rec1"));
    EXPECT_FALSE(enabled("Begintime1"));
}

TEST_F(OptionsDialogTest, EnablingRules) {
    dialog->LoadOptions();
    // Presets exclude each other.
    EXPECT_FALSE(enabled("rg_prest"));
    EXPECT_FALSE(enabled("rg_alt"));
    check("ck_preset")->click();
    EXPECT_TRUE(enabled("rg_prest"));
    EXPECT_FALSE(enabled("ck_alt"));
    check("ck_preset")->click();
    EXPECT_TRUE(enabled("ck_alt"));
    EXPECT_FALSE(enabled("rg_prest"));
    check("ck_alt")->click();
    EXPECT_FALSE(enabled("ck_preset"));
    EXPECT_TRUE(enabled("rg_alt"));
    check("ck_alt")->click();
    EXPECT_TRUE(enabled("ck_preset"));
    // VBR method.
    EXPECT_FALSE(enabled("cb_mp3_vbr"));
    EXPECT_FALSE(enabled("ck_mp3_semb"));
    combo("cb_mp3vbrcm")->setCurrentIndex(3);
    EXPECT_TRUE(enabled("cb_mp3_vbr"));
    EXPECT_TRUE(enabled("ud_mp3_vbr"));
    EXPECT_TRUE(enabled("ck_mp3_VBR"));
    // Filters and their width captions.
    EXPECT_FALSE(enabled("udHFiltW"));
    EXPECT_FALSE(enabled("lbHFiltW"));
    check("chHFilt")->click();
    EXPECT_TRUE(enabled("udHFiltF"));
    EXPECT_TRUE(enabled("lbHFiltW"));
    EXPECT_FALSE(enabled("udLFiltF"));
    // WAV custom mode.
    EXPECT_FALSE(enabled("cb_wav_bit"));
    w<RadioGroup>("rb_cdmode")->button(2)->click();
    EXPECT_TRUE(enabled("cb_wav_bit"));
    EXPECT_TRUE(enabled("cb_wav_channel"));
    w<RadioGroup>("rb_cdmode")->button(1)->click();
    EXPECT_FALSE(enabled("cb_wav_frequency"));
    // The OGG modes exclude each other.
    check("ck_oggvbr")->click();
    EXPECT_FALSE(enabled("ck_oggquality"));
    EXPECT_TRUE(enabled("cb_ogg_minbit"));
    check("ck_oggvbr")->click();
    check("ck_oggquality")->click();
    EXPECT_FALSE(enabled("ck_oggvbr"));
    EXPECT_TRUE(enabled("ud_ogg_quality"));
    // Shutdown time.
    EXPECT_FALSE(enabled("dtpTime"));
    check("CB_SHOWD")->click();
    EXPECT_TRUE(enabled("dtpTime"));
    // A slot's pickers follow its check box.
    w<QRadioButton>("RadioButton2")->click();
    check("cb_rec2")->setChecked(true);
    check("cb_rec2")->setChecked(false);
    EXPECT_FALSE(enabled("begintime2"));
    check("cb_rec2")->click();
    EXPECT_TRUE(enabled("begintime2"));
    EXPECT_TRUE(enabled("endtime2"));
}

TEST_F(OptionsDialogTest, DigitsFilterTurnsNonDigitsIntoBackspace) {
    dialog->LoadOptions();
    auto *port = w<QLineEdit>("edt_port");
    port->clear();
    QTest::keyClicks(port, QStringLiteral("8a0"));
    EXPECT_EQ(port->text(), QStringLiteral("0"));
    QTest::keyClick(port, Qt::Key_Backspace);
    EXPECT_TRUE(port->text().isEmpty());
    auto *timeout = w<QLineEdit>("edt_timeout");
    timeout->clear();
    QTest::keyClicks(timeout, QStringLiteral("12x3"));
    EXPECT_EQ(timeout->text(), QStringLiteral("13"));
    auto *quality = spin("ud_ogg_quality");
    check("ck_oggquality")->setChecked(true);
    w<QLineEdit>("edt_ogg_quality")->selectAll();
    QTest::keyClicks(quality, QStringLiteral("45b7"));
    EXPECT_EQ(w<QLineEdit>("edt_ogg_quality")->text(), QStringLiteral("47"));
}

TEST_F(OptionsDialogTest, DefaultThenCloseWritesNothingAndTheNextShowingReloads) {
    settings.writeInteger(QStringLiteral("mp3"), QStringLiteral("bitrate"), 2);
    settings.writeInteger(QStringLiteral("wma"), QStringLiteral("format"), 3);
    settings.writeInteger(QStringLiteral("Format"), QStringLiteral("retries"), 20);
    const QString before = fileText();
    dialog->show();
    EXPECT_EQ(combo("cb_mp3_bitrate")->currentIndex(), 2);
    EXPECT_EQ(spin("ud_retries")->value(), 20);
    w<QPushButton>("Button2")->click();
    EXPECT_EQ(combo("cb_mp3_bitrate")->currentIndex(), 9);
    EXPECT_EQ(combo("cb_wma")->currentIndex(), 9);           // not the load default 46
    EXPECT_EQ(combo("cb_wav_frequency")->currentIndex(), 8); // not the load default 7
    EXPECT_EQ(spin("ud_retries")->value(), 5);
    w<QPushButton>("Cancel")->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(fileText(), before);
    dialog->show();
    EXPECT_EQ(combo("cb_mp3_bitrate")->currentIndex(), 2);
    EXPECT_EQ(combo("cb_wma")->currentIndex(), 3);
    dialog->hide();
}

TEST_F(OptionsDialogTest, IndexesOutsideTheListsAreSavedAsMinusOne) {
    settings.writeInteger(QStringLiteral("mp3"), QStringLiteral("frequency"), 40);
    settings.writeInteger(QStringLiteral("MP3Prest"), QStringLiteral("rg_prest"), 11);
    dialog->LoadOptions();
    EXPECT_EQ(combo("cb_mp3_frequency")->currentIndex(), -1);
    EXPECT_EQ(w<RadioGroup>("rg_prest")->itemIndex(), -1);
    combo("cb_wma")->setEditText(QStringLiteral("WMA9 96KHz, imaginary"));
    dialog->SaveOptions();
    EXPECT_EQ(settings.readInteger(QStringLiteral("mp3"), QStringLiteral("frequency"), 0), -1);
    EXPECT_EQ(settings.readInteger(QStringLiteral("MP3Prest"), QStringLiteral("rg_prest"), 0), -1);
    EXPECT_EQ(settings.readInteger(QStringLiteral("wma"), QStringLiteral("format"), 0), -1);
}

TEST_F(OptionsDialogTest, PageTreeShowsOnePageWithItsTitle) {
    dialog->LoadOptions();
    const struct {
        int node;
        const char *title;
        const char *page;
    } pages[] = {{1, "Set Record", "gb_rec"},
                 {2, "Set Ripper", "gb_cd"},
                 {3, "Set MP3 General", "gb_mp3general"},
                 {4, "Set MP3 General", "gb_mp3general"},
                 {5, "Set MP3 VBR", "gb_mp3vbr"},
                 {6, "Set MP3 Filter", "gb_filter"},
                 {7, "Set MP3 Expert", "gb_expert"},
                 {8, "Set MP3 Presets", "gb_presets"},
                 {9, "Set MP3 Command Line", "gb_command"},
                 {10, "Set WAV Format", "gb_wav"},
                 {11, "Set WMA Format", "gb_wma"},
                 {12, "Set OGG Format", "gb_ogg"},
                 {13, "Set FLAC Format", "gb_flac"},
                 {14, "Set Opus Format", "gb_opus"}};
    auto *tree = w<QTreeWidget>("TreeView1");
    QList<QTreeWidgetItem *> order;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        order << *it;
    ASSERT_EQ(order.size(), 15);
    for (const auto &p : pages) {
        tree->setCurrentItem(order[p.node]);
        EXPECT_EQ(w<QLabel>("set_lb")->text(), QString::fromLatin1(p.title));
        EXPECT_TRUE(w<QGroupBox>(p.page)->isVisibleTo(dialog.get())) << p.page;
        EXPECT_FALSE(w<QGroupBox>("gb_set")->isVisibleTo(dialog.get()));
    }
    dialog->ShowPage(15);
    EXPECT_EQ(w<QLabel>("set_lb")->text(), QStringLiteral("Set Opus Format"));
    EXPECT_EQ(dialog->currentPage(), 14);
}

TEST_F(OptionsDialogTest, OutputFolderChosenIsWrittenAndShown) {
    dialog->LoadOptions();
    prompts.folderToChoose = dir.filePath(QStringLiteral("out"));
    w<QPushButton>("Button7")->click();
    EXPECT_EQ(settings.readString(QStringLiteral("video"), QStringLiteral("path"), {}),
              prompts.folderToChoose);
    EXPECT_EQ(w<QLineEdit>("ed_out")->text(), prompts.folderToChoose);
    prompts.folderToChoose.clear();
    w<QPushButton>("Button7")->click();
    EXPECT_EQ(settings.readString(QStringLiteral("video"), QStringLiteral("path"), {}),
              dir.filePath(QStringLiteral("out")));
}

TEST_F(OptionsDialogTest, RecordingOggFormatIsCheckedOnSave) {
    AudioFile recording;
    dialog->setRecordingFile(&recording);
    dialog->show();
    combo("scmb")->setCurrentIndex(3);
    // 6000 Hz has no managed bit-rate mode at all.
    combo("cb_ogg_fre")->setCurrentIndex(0);
    w<QPushButton>("Ok")->click();
    EXPECT_EQ(prompts.plainShown, std::vector<QString>{QStringLiteral("Incorrect format")});
    // An incorrect format is only reported: the rest is saved and the dialog closes.
    EXPECT_TRUE(settings.hasKey(QStringLiteral("autorec"), QStringLiteral("format")));
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(OptionsDialogTest, UnreadableOggQualityStopsSavingAndKeepsTheDialogOpen) {
    AudioFile recording;
    dialog->setRecordingFile(&recording);
    dialog->show();
    combo("scmb")->setCurrentIndex(3);
    check("ck_oggquality")->setChecked(true);
    w<QLineEdit>("edt_ogg_quality")->clear();
    w<QPushButton>("Ok")->click();
    ASSERT_EQ(prompts.shown.size(), 1);
    EXPECT_EQ(prompts.shown[0].caption, QStringLiteral("Information"));
    EXPECT_TRUE(settings.hasKey(QStringLiteral("ogg"), QStringLiteral("oggquality")));
    EXPECT_FALSE(settings.hasKey(QStringLiteral("Format"), QStringLiteral("mode")));
    EXPECT_TRUE(dialog->isVisible());
    dialog->hide();
}

TEST_F(OptionsDialogTest, StartUpValuesAndRecorderControls) {
    settings.writeString(QStringLiteral("Time"), QStringLiteral("Time"), QStringLiteral("23:15:00"));
    settings.writeBool(QStringLiteral("timeclose"), QStringLiteral("bclose"), true);
    dialog->LoadOptions();
    EXPECT_FALSE(check("CB_SHOWD")->isChecked()); // not the dialog's own loading
    dialog->LoadShutdownOptions();
    EXPECT_EQ(dialog->shutdownTime(), QTime(23, 15, 0));
    EXPECT_TRUE(check("CB_SHOWD")->isChecked());
    EXPECT_TRUE(enabled("dtpTime"));

    std::vector<int> volumes;
    QObject::connect(dialog.get(), &OptionsDialog::recordingVolumeChanged,
                     [&](int v) { volumes.push_back(v); });
    dialog->showRecordingVolume(30000);
    EXPECT_TRUE(volumes.empty());
    EXPECT_EQ(dialog->tb_rd()->value(), 30000);
    dialog->tb_rd()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    ASSERT_EQ(volumes.size(), 1u);
    EXPECT_GT(volumes[0], 30000);
    EXPECT_EQ(dialog->tb_rd()->maximum(), 66535);
}

// The four keys that once had a second default in the encoder and drive set-up:
// absent, every reader gets the one the dialog shows.
TEST_F(OptionsDialogTest, AbsentKeysReadTheSameDefaultEverywhere) {
    dialog->LoadOptions();
    const FileEncoderSettings file(settings);
    const cd::ReadMode ripper = ReadGrabSettings(file);
    struct Case {
        const keys::IntKey &key;
        int shown;    // by the dialog after loading
        int ripper;   // as the drive set-up takes it, -1 when it does not read the key
        int expected; // index 5: 16 bit; 46: lossless; mode 0; five retries
    };
    const Case cases[] = {
        {keys::WavBit, combo("cb_wav_bit")->currentIndex(), -1, 5},
        {keys::WmaFormat, combo("cb_wma")->currentIndex(), -1, 46},
        {keys::GrabModeKey, dialog->grabMode(), ripper.grabMode, 0},
        {keys::GrabRetries, spin("ud_retries")->value(), ripper.retries, 5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(keys::name(c.key.key).toStdString());
        EXPECT_EQ(c.shown, c.expected);
        EXPECT_EQ(file.readInteger(c.key), c.expected);
        EXPECT_EQ(dialog->readInteger(c.key), c.expected);
        EXPECT_TRUE(c.ripper < 0 || c.ripper == c.expected) << c.ripper;
    }
}

TEST_F(OptionsDialogTest, OffsetButtonsAskTheirHooksAndTakeTheAnswer) {
    EXPECT_TRUE(w<QPushButton>("btn_findoffset")->isHidden()) << "no hook, no button";
    OptionsDialog::OffsetReply pending;
    dialog->findReadOffset = [&](OptionsDialog::OffsetReply r) { pending = std::move(r); };
    dialog->lookUpReadOffset = dialog->findReadOffset;
    dialog->offsetHooksChanged();
    spin("ud_offset")->setValue(12);
    const std::tuple<const char *, std::optional<int>, int> cases[] = {
        {"btn_findoffset", 667, 667}, {"btn_lookupoffset", std::nullopt, 667}};
    for (const auto &[button, answer, shown] : cases) {
        EXPECT_FALSE(w<QPushButton>(button)->isHidden());
        w<QPushButton>(button)->click();
        ASSERT_TRUE(pending);
        EXPECT_FALSE(enabled("btn_findoffset")) << "one question at a time";
        pending(answer, QStringLiteral("said"));
        pending = nullptr;
        EXPECT_EQ(spin("ud_offset")->value(), shown);
        EXPECT_EQ(w<QLabel>("lab_offset")->text(), QStringLiteral("said"));
        EXPECT_TRUE(enabled("btn_lookupoffset"));
    }
}

TEST(SettingsKeys, Tables) {
    EXPECT_EQ(BitrateTable[9], 128);
    EXPECT_EQ(FrequencyTable[7], 44100);
    EXPECT_EQ(SampleBitsTable[5], 16);
    EXPECT_EQ(tableEntry(BitrateTable, 15, 9), 128);
    EXPECT_EQ(tableEntry(BitrateTable, -1, 9), 128);
    EXPECT_EQ(wmaProfileItems().size(), 47);
    EXPECT_EQ(wmaProfileItems()[20], wmaProfileItems()[22]);
    EXPECT_EQ(freedbSiteItems().size(), 11);
    // Every key appears once in the table.
    QStringList seen;
    for (const auto &k : keys::keyTable()) {
        const QString id = QString(k.section) + QLatin1Char('/') + QString(k.key);
        EXPECT_FALSE(seen.contains(id)) << id.toStdString();
        seen << id;
    }
}

} // namespace
} // namespace varnelo
