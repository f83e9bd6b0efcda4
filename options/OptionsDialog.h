#pragma once
#include "convert/EncoderSetup.h"

#include <QDialog>
#include <QTime>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QStackedWidget;
class QTimeEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace varnelo {

class ShownPage;
class AudioFile;
class Prompts;
class RadioGroup;
class SettingsFile;
struct CodecPages;

// The options dialog ("Options"): a tree of pages over every option of the
// settings file. It lives for the whole run, is shown without blocking the main
// window, and its controls are the live settings several operations read (the
// accessors below). Every control carries its name as objectName.
class OptionsDialog : public QDialog, public EncoderSettingsSource {
    Q_OBJECT
public:
    OptionsDialog(SettingsFile &settings, const ShownPage &page, Prompts &prompts, QWidget *parent = nullptr);

    // The ripper's reading mode and error action, and the schedule's mode (0 off, 1 daily, 2 once).
    int grabMode() const { return grabMode_; }
    int errorAction() const { return errorAction_; }
    int scheduleMode() const { return scheduleMode_; }
    ~OptionsDialog() override;

    // The recording file component the OGG recording format is applied to on OK.
    void setRecordingFile(AudioFile *file) { recordingFile_ = file; }

    // Fills every control from the settings file (also run on each showing).
    void LoadOptions();
    // Writes every key in its order; throws Error when the OGG quality text is
    // not a number (the keys before that step are then already written).
    void SaveOptions();

    // Button handlers.
    void OkClick();      // SaveOptions, then close; a failure is shown and the dialog stays
    void CancelClick();  // close, nothing written
    void Button2Click(); // "Default": controls to defaults, nothing written
    void Button7Click(); // choose the output folder
    // Shows the page of tree node `index` (absolute, 0..14); other indexes do nothing.
    void ShowPage(int index);
    int currentPage() const { return currentPage_; }

    // EncoderSettingsSource: the file at the moment of the call plus the memo.
    int readInteger(const keys::IntKey &key) const override;
    bool readBool(const keys::BoolKey &key) const override;
    QString mp3CommandLine() const override;
    RecordingOggControls recordingOggControls() const;

    // The ripper page's "Find" (from one read of a disc in the database) and
    // "Look up" (AccurateRip's drive list) beside the read offset. Each is
    // given a reply to call on the dialog's thread once it knows; unset, the
    // button is hidden.
    using OffsetReply = std::function<void(std::optional<int> offset, const QString &message)>;
    std::function<void(OffsetReply)> findReadOffset;
    std::function<void(OffsetReply)> lookUpReadOffset;
    // Shows the offset buttons whose hooks are set (after setting them).
    void offsetHooksChanged();
    QLabel *offsetStatus() const { return ui_.lab_offset; }

    // Live settings read by the converter, ripper, recorder, clock and start-up.
    bool openFolderWhenDone() const;   // cb_auto
    bool desktopNotifications() const; // cb_notify
    int playbackGain() const;          // cb_gain: 0 off, 1 track, 2 album
    int recordNaming() const;          // set_cb_name: 0 station, 1 genre, 2 date and time
    int ripFolderNaming() const;       // cb_name: 0 none, 1 artist, 2 album
    int recordFormat() const;          // scmb: 0 MP3, 1 WAV, 2 WMA, 3 OGG, 4 FLAC, 5 Opus
    bool splitByTitle() const;         // ck_split: a new file at each new title
    bool recordAsBroadcast() const;    // ck_broadcast: the station's own frames when the format matches
    struct ScheduleSlot {
        bool on;
        QTime begin;
        QTime end;
    };
    ScheduleSlot scheduleSlot(int slot) const; // 0..2
    QDate scheduleDate() const;                // date_time
    QTime shutdownTime() const;                // dtpTime
    // Start-up: the shutdown time and switch, which LoadOptions does not read.
    void LoadShutdownOptions();
    // The recorder's input volume shown on tb_rd without echoing it back.
    void showRecordingVolume(int volume);
    // Shows a folder in ed_out as it is (the folder browser's OK).
    void showOutputFolder(const QString &folder);

    // Controls other parts fill or drive.
    QComboBox *cb_rd() const { return ui_.cb_rd; }
    QComboBox *cb_rdson() const { return ui_.cb_rdson; }
    QSlider *tb_rd() const { return ui_.tb_rd; }
    QComboBox *driveCombo() const { return ui_.driveCombo; }
    QTimeEdit *dtpTime() const { return ui_.dtpTime; }
    QCheckBox *CB_SHOWD() const { return ui_.CB_SHOWD; }
    QLineEdit *ed_out() const { return ui_.ed_out; }

    // Digits filter: a typed non-digit becomes a backspace.
    bool eventFilter(QObject *watched, QEvent *event) override;

Q_SIGNALS:
    // cb_rdsonChange: the recorder selects input index + 1 and reports its volume back.
    void recordingInputSelected(int index);
    // tb_rdChange: the user moved the volume bar.
    void recordingVolumeChanged(int volume);
    // OK on the rip page: the grabber selects this drive (1-based).
    void driveSelected(int driveNumber);
    // "Image..." beside the drive list: a disc image is to be chosen as a drive.
    void discImageRequested();

protected:
    void showEvent(QShowEvent *event) override;

private:
    struct Ui {
        QTreeWidget *TreeView1 = nullptr;
        QLabel *set_lb = nullptr;
        QStackedWidget *pages = nullptr;
        QPushButton *Ok = nullptr, *Button2 = nullptr, *Cancel = nullptr;
        // Schedule page
        QGroupBox *gb_set = nullptr;
        QLineEdit *ed_out = nullptr;
        QPushButton *Button7 = nullptr;
        QCheckBox *cb_auto = nullptr;
        QComboBox *set_cb_name = nullptr, *cb_name = nullptr, *scmb = nullptr;
        QTimeEdit *dtpTime = nullptr;
        QCheckBox *CB_SHOWD = nullptr;
        QCheckBox *cb_notify = nullptr; // desktop notifications
        QComboBox *cb_gain = nullptr;   // ReplayGain on local playback
        // Record page
        QGroupBox *gb_rec = nullptr;
        QComboBox *cb_rd = nullptr, *cb_rdson = nullptr;
        QSlider *tb_rd = nullptr;
        QCheckBox *ck_split = nullptr, *ck_broadcast = nullptr;
        std::array<QRadioButton *, 3> scheduleButtons{}; // RadioButton1..3
        QDateEdit *date_time = nullptr;
        std::array<QCheckBox *, 3> cb_rec{};
        std::array<QTimeEdit *, 3> begin{}; // Begintime1, begintime2, begintime3
        std::array<QTimeEdit *, 3> end{};   // endtime1..3
        // Ripper page
        QGroupBox *gb_cd = nullptr;
        std::array<QRadioButton *, 4> cd_g{};
        std::array<QRadioButton *, 3> cd_a{};
        QSpinBox *ud_retries = nullptr;
        QSpinBox *ud_offset = nullptr;  // the drive's read offset, samples
        QCheckBox *ck_secure = nullptr; // test and copy
        QCheckBox *ck_overread = nullptr;
        QPushButton *btn_findoffset = nullptr, *btn_lookupoffset = nullptr;
        QLabel *lab_offset = nullptr; // what Find or Look up came to
        QComboBox *cb_freedbsite = nullptr;
        QLineEdit *edt_port = nullptr, *edt_timeout = nullptr, *edt_proxy = nullptr;
        RadioGroup *rg_freedbserver = nullptr;
        QComboBox *driveCombo = nullptr;
        QPushButton *btn_cdimage = nullptr;
        // MP3 pages
        QGroupBox *gb_mp3general = nullptr, *gb_mp3vbr = nullptr, *gb_filter = nullptr, *gb_expert = nullptr,
                  *gb_presets = nullptr, *gb_command = nullptr;
        QComboBox *cb_mp3_frequency = nullptr, *cb_mp3_channel = nullptr, *cb_mp3_bitrate = nullptr;
        QSpinBox *ud_mp3_quality = nullptr;
        QComboBox *cb_mp3vbrcm = nullptr, *cb_mp3_vbr = nullptr;
        QSpinBox *ud_mp3_vbr = nullptr;
        QCheckBox *ck_mp3_VBR = nullptr, *ck_mp3_semb = nullptr;
        QCheckBox *chHFilt = nullptr, *chLFilt = nullptr;
        QSpinBox *udHFiltF = nullptr, *udHFiltW = nullptr, *udLFiltF = nullptr, *udLFiltW = nullptr;
        QLabel *lbHFiltW = nullptr, *lbLFiltW = nullptr;
        QCheckBox *ck_bit = nullptr, *ck_short = nullptr, *ck_allow = nullptr, *ck_comply = nullptr,
                  *ck_crc = nullptr;
        QComboBox *cb_ath = nullptr, *cb_de = nullptr;
        QCheckBox *ck_preset = nullptr, *ck_alt = nullptr;
        RadioGroup *rg_prest = nullptr, *rg_alt = nullptr;
        QPlainTextEdit *txtCommLine = nullptr;
        // WAV, WMA, OGG pages
        QGroupBox *gb_wav = nullptr, *gb_wma = nullptr, *gb_ogg = nullptr;
        RadioGroup *rb_cdmode = nullptr;
        QComboBox *cb_wav_frequency = nullptr, *cb_wav_bit = nullptr, *cb_wav_channel = nullptr;
        QComboBox *cb_wma = nullptr;
        QComboBox *cb_ogg_fre = nullptr, *cb_ogg_channel = nullptr, *cb_ogg_bitrate = nullptr,
                  *cb_ogg_minbit = nullptr, *cb_ogg_maxbit = nullptr;
        QCheckBox *ck_oggvbr = nullptr, *ck_oggquality = nullptr;
        QSpinBox *ud_ogg_quality = nullptr;
    };

    // Page construction (OptionsPages.cpp).
    void buildUi();
    QWidget *buildSchedulePage();
    QWidget *buildRecordPage();
    QWidget *buildRipperPage();
    QWidget *buildMp3GeneralPage();
    QWidget *buildMp3VbrPage();
    QWidget *buildFilterPage();
    QWidget *buildExpertPage();
    QWidget *buildPresetsPage();
    QWidget *buildCommandPage();
    QWidget *buildWavPage();
    QWidget *buildWmaPage();
    QWidget *buildOggPage();
    void connectRules();
    void installDigitsFilter(QObject *edit);

    // Enabling rules.
    void applyVbrMethodRule();
    void applyHighpassRule();
    void applyLowpassRule();
    void applyPresetRule();
    void applyAltPresetRule();
    void applyWavModeRule();
    void applyOggVbrRule();
    void applyOggQualityRule();
    void applyScheduleRule(int mode);
    void applySlotRule(int slot);

    void setGrabMode(int mode);
    void setErrorAction(int action);
    void selectScheduleMode(int mode);

    SettingsFile &settings_;
    const ShownPage &page_;
    Prompts &prompts_;
    // The radio choices as stored, even outside the buttons, so saving writes them back unchanged.
    int grabMode_ = 0;
    int errorAction_ = 0;
    int scheduleMode_ = 0;
    AudioFile *recordingFile_ = nullptr;
    Ui ui_;
    std::unique_ptr<CodecPages> codecs_;   // the FLAC and Opus pages
    std::vector<QTreeWidgetItem *> nodes_; // by absolute index
    int currentPage_ = -1;
};

} // namespace varnelo
