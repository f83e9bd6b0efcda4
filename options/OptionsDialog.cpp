#include "options/OptionsDialog.h"

#include "options/CodecPages.h"

#include "common/Error.h"
#include "common/Seams.h"
#include "common/SettingsFile.h"
#include "common/SettingsKeys.h"
#include "common/ShownPage.h"
#include "options/RadioGroup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QDir>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTimeEdit>
#include <QTreeWidget>
#include <algorithm>
#include <optional>

namespace varnelo {
namespace {

// A list index from the file: outside the list it leaves no selection, which
// saving then stores as -1.
void setIndex(QComboBox *box, int index) {
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
}

// The page of each tree node by absolute index, with its title.
struct PageOfNode {
    const char *title;
    int page; // index in the stacked pages
};
constexpr PageOfNode kNodes[] = {
    {"Schedule", 0},        {"Set Record", 1},           {"Set Ripper", 2},       {"Set MP3 General", 3},
    {"Set MP3 General", 3}, {"Set MP3 VBR", 4},          {"Set MP3 Filter", 5},   {"Set MP3 Expert", 6},
    {"Set MP3 Presets", 7}, {"Set MP3 Command Line", 8}, {"Set WAV Format", 9},   {"Set WMA Format", 10},
    {"Set OGG Format", 11}, {"Set FLAC Format", 12},     {"Set Opus Format", 13},
};

} // namespace

OptionsDialog::OptionsDialog(SettingsFile &settings, const ShownPage &page, Prompts &prompts, QWidget *parent)
    : QDialog(parent), settings_(settings), page_(page), prompts_(prompts) {
    buildUi();
    connectRules();
    ui_.pages->hide(); // until a node is chosen no page shows
}

OptionsDialog::~OptionsDialog() = default;

void OptionsDialog::connectRules() {
    connect(ui_.TreeView1, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *item) {
        const auto it = std::find(nodes_.begin(), nodes_.end(), item);
        if (it != nodes_.end())
            ShowPage(static_cast<int>(it - nodes_.begin()));
    });
    connect(ui_.Ok, &QPushButton::clicked, this, &OptionsDialog::OkClick);
    connect(ui_.Cancel, &QPushButton::clicked, this, &OptionsDialog::CancelClick);
    connect(ui_.Button2, &QPushButton::clicked, this, &OptionsDialog::Button2Click);
    connect(ui_.Button7, &QPushButton::clicked, this, &OptionsDialog::Button7Click);

    connect(ui_.cb_mp3vbrcm, &QComboBox::currentIndexChanged, this, &OptionsDialog::applyVbrMethodRule);
    connect(ui_.chHFilt, &QCheckBox::toggled, this, &OptionsDialog::applyHighpassRule);
    connect(ui_.chLFilt, &QCheckBox::toggled, this, &OptionsDialog::applyLowpassRule);
    connect(ui_.ck_preset, &QCheckBox::toggled, this, &OptionsDialog::applyPresetRule);
    connect(ui_.ck_alt, &QCheckBox::toggled, this, &OptionsDialog::applyAltPresetRule);
    connect(ui_.rb_cdmode, &RadioGroup::itemIndexChanged, this, &OptionsDialog::applyWavModeRule);
    connect(ui_.ck_oggvbr, &QCheckBox::toggled, this, &OptionsDialog::applyOggVbrRule);
    connect(ui_.ck_oggquality, &QCheckBox::toggled, this, &OptionsDialog::applyOggQualityRule);
    connect(ui_.CB_SHOWD, &QCheckBox::toggled, ui_.dtpTime, &QWidget::setEnabled);
    for (int i = 0; i < 3; ++i) {
        connect(ui_.cb_rec[i], &QCheckBox::toggled, this, [this, i] { applySlotRule(i); });
        connect(ui_.scheduleButtons[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                applyScheduleRule(i);
        });
    }
    for (int i = 0; i < 4; ++i)
        connect(ui_.cd_g[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                grabMode_ = i;
        });
    for (int i = 0; i < 3; ++i)
        connect(ui_.cd_a[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                errorAction_ = i;
        });
    // Only what the user picks drives the recorder, not the lists being filled.
    connect(ui_.cb_rdson, &QComboBox::activated, this, &OptionsDialog::recordingInputSelected);
    connect(ui_.tb_rd, &QSlider::valueChanged, this, &OptionsDialog::recordingVolumeChanged);
}

// ---- Enabling rules ---------------------------------------------------------

void OptionsDialog::applyVbrMethodRule() {
    const bool vbr = ui_.cb_mp3vbrcm->currentIndex() != 0;
    for (QWidget *w :
         std::initializer_list<QWidget *>{ui_.cb_mp3_vbr, ui_.ud_mp3_vbr, ui_.ck_mp3_VBR, ui_.ck_mp3_semb})
        w->setEnabled(vbr);
}

void OptionsDialog::applyHighpassRule() {
    const bool on = ui_.chHFilt->isChecked();
    ui_.udHFiltF->setEnabled(on);
    ui_.udHFiltW->setEnabled(on);
    ui_.lbHFiltW->setEnabled(on);
}

void OptionsDialog::applyLowpassRule() {
    const bool on = ui_.chLFilt->isChecked();
    ui_.udLFiltF->setEnabled(on);
    ui_.udLFiltW->setEnabled(on);
    ui_.lbLFiltW->setEnabled(on);
}

void OptionsDialog::applyPresetRule() {
    const bool preset = ui_.ck_preset->isChecked();
    ui_.rg_prest->setEnabled(preset);
    ui_.rg_alt->setEnabled(ui_.ck_alt->isChecked() && !preset);
    ui_.ck_alt->setEnabled(!preset);
}

void OptionsDialog::applyAltPresetRule() {
    const bool alt = ui_.ck_alt->isChecked();
    ui_.rg_alt->setEnabled(alt);
    ui_.rg_prest->setEnabled(ui_.ck_preset->isChecked() && alt);
    ui_.ck_preset->setEnabled(!alt);
}

void OptionsDialog::applyWavModeRule() {
    const bool custom = ui_.rb_cdmode->itemIndex() == 2;
    ui_.cb_wav_frequency->setEnabled(custom);
    ui_.cb_wav_bit->setEnabled(custom);
    ui_.cb_wav_channel->setEnabled(custom);
}

void OptionsDialog::applyOggVbrRule() {
    const bool vbr = ui_.ck_oggvbr->isChecked();
    ui_.ck_oggquality->setEnabled(!vbr);
    ui_.cb_ogg_minbit->setEnabled(vbr);
    ui_.cb_ogg_maxbit->setEnabled(vbr);
}

void OptionsDialog::applyOggQualityRule() {
    const bool quality = ui_.ck_oggquality->isChecked();
    ui_.ck_oggvbr->setEnabled(!quality);
    ui_.ud_ogg_quality->setEnabled(quality);
}

void OptionsDialog::applySlotRule(int slot) {
    const bool on = ui_.cb_rec[slot]->isChecked();
    ui_.begin[slot]->setEnabled(on);
    ui_.end[slot]->setEnabled(on);
}

void OptionsDialog::applyScheduleRule(int mode) {
    scheduleMode_ = mode;
    ui_.date_time->setEnabled(mode == 2);
    for (int i = 0; i < 3; ++i) {
        ui_.begin[i]->setEnabled(mode != 0);
        ui_.end[i]->setEnabled(mode != 0);
        ui_.cb_rec[i]->setEnabled(mode != 0);
    }
}

void OptionsDialog::selectScheduleMode(int mode) {
    // Only the buttons set the schedule mode: a stored value outside them keeps the current one.
    if (mode >= 0 && mode < 3)
        ui_.scheduleButtons[mode]->setChecked(true);
}

template <std::size_t N> static void checkExactly(const std::array<QRadioButton *, N> &buttons, int index) {
    if (index >= 0 && index < static_cast<int>(N)) {
        buttons[index]->setChecked(true);
        return;
    }
    for (QRadioButton *b : buttons) {
        b->setAutoExclusive(false);
        b->setChecked(false);
        b->setAutoExclusive(true);
    }
}

void OptionsDialog::setGrabMode(int mode) {
    // Kept as stored even outside 0..3, so that saving writes it back unchanged.
    checkExactly(ui_.cd_g, mode);
    grabMode_ = mode;
}

void OptionsDialog::setErrorAction(int action) {
    checkExactly(ui_.cd_a, action);
    errorAction_ = action;
}

// ---- Pages ------------------------------------------------------------------

void OptionsDialog::ShowPage(int index) {
    if (index < 0 || index >= static_cast<int>(std::size(kNodes)))
        return;
    ui_.pages->setCurrentIndex(kNodes[index].page);
    ui_.pages->show();
    ui_.set_lb->setText(QString::fromLatin1(kNodes[index].title));
    currentPage_ = index;
}

// ---- Load, save, defaults ---------------------------------------------------

void OptionsDialog::LoadOptions() {
    using namespace keys;
    const SettingsFile &f = settings_;

    QString folder = read(f, OutputFolderKey, defaultOutputFolder());
    if (!folder.endsWith(QDir::separator()))
        folder += QDir::separator();
    ui_.ed_out->setText(folder);

    setIndex(ui_.cb_mp3_bitrate, read(f, Mp3Bitrate));
    setIndex(ui_.cb_mp3_channel, read(f, Mp3Channel));
    setIndex(ui_.cb_mp3_frequency, read(f, Mp3Frequency));
    ui_.ud_mp3_quality->setValue(read(f, Mp3Quality));
    setIndex(ui_.cb_mp3vbrcm, read(f, VbrCodingMethod));
    setIndex(ui_.cb_mp3_vbr, read(f, VbrBitrate));
    ui_.ud_mp3_vbr->setValue(read(f, VbrQuality));
    ui_.ck_mp3_VBR->setChecked(read(f, VbrWriteHeader));
    ui_.ck_mp3_semb->setChecked(read(f, VbrEnforceMin));
    applyVbrMethodRule();

    ui_.chHFilt->setChecked(read(f, FiltHighOn));
    ui_.chLFilt->setChecked(read(f, FiltLowOn));
    ui_.udHFiltF->setValue(read(f, FiltHighFreq));
    ui_.udHFiltW->setValue(read(f, FiltHighWidth));
    ui_.udLFiltF->setValue(read(f, FiltLowFreq));
    ui_.udLFiltW->setValue(read(f, FiltLowWidth));

    ui_.ck_bit->setChecked(read(f, ExpertBitReservoir));
    ui_.ck_short->setChecked(read(f, ExpertShortBlocks));
    ui_.ck_allow->setChecked(read(f, ExpertAllowMixed));
    ui_.ck_comply->setChecked(read(f, ExpertComply));
    ui_.ck_crc->setChecked(read(f, ExpertCrc));
    setIndex(ui_.cb_ath, read(f, ExpertAth));
    setIndex(ui_.cb_de, read(f, ExpertDeEmphasis));

    ui_.ck_preset->setChecked(read(f, PresetOn));
    ui_.ck_alt->setChecked(read(f, AltPresetOn));
    ui_.rg_prest->setItemIndex(read(f, PresetIndex));
    ui_.rg_alt->setItemIndex(read(f, AltPresetIndex));

    ui_.rb_cdmode->setItemIndex(read(f, WavMode));
    setIndex(ui_.cb_wav_bit, read(f, WavBit));
    setIndex(ui_.cb_wav_channel, read(f, WavChannel));
    setIndex(ui_.cb_wav_frequency, read(f, WavFrequency));
    applyWavModeRule();

    setIndex(ui_.cb_wma, read(f, WmaFormat));

    setIndex(ui_.cb_ogg_channel, read(f, OggChannel));
    setIndex(ui_.cb_ogg_fre, read(f, OggFrequency));
    setIndex(ui_.cb_ogg_bitrate, read(f, OggBitrate));
    setIndex(ui_.cb_ogg_maxbit, read(f, OggMaxBitrate));
    setIndex(ui_.cb_ogg_minbit, read(f, OggMinBitrate));
    ui_.ud_ogg_quality->setValue(read(f, OggQuality));
    ui_.ck_oggvbr->setChecked(read(f, OggVbr));
    ui_.ck_oggquality->setChecked(read(f, OggQualityMode));
    applyOggVbrRule();
    applyOggQualityRule();
    codecs_->load(f);

    setGrabMode(read(f, GrabModeKey));
    ui_.ud_retries->setValue(read(f, GrabRetries));
    ui_.ud_offset->setValue(read(f, ReadOffsetKey));
    ui_.ck_secure->setChecked(read(f, SecureCopyKey));
    ui_.ck_overread->setChecked(read(f, OverreadKey));
    setErrorAction(read(f, GrabStop));

    setIndex(ui_.cb_freedbsite, read(f, FreedbSite));
    ui_.rg_freedbserver->setItemIndex(read(f, FreedbToServer));
    ui_.edt_port->setText(read(f, FreedbPort));
    ui_.edt_timeout->setText(read(f, FreedbTimeout));
    ui_.edt_proxy->setText(read(f, FreedbProxy, QString()));
    ui_.cb_auto->setChecked(read(f, AutoOpen));
    ui_.cb_notify->setChecked(read(f, DesktopNotify));
    ui_.cb_gain->setCurrentIndex(std::clamp(read(f, PlaybackGain), 0, 2));

    for (int i = 0; i < 3; ++i)
        ui_.begin[i]->setTime(readTime(f, ScheduleBegin[i], QTime::currentTime()));
    for (int i = 0; i < 3; ++i)
        ui_.cb_rec[i]->setChecked(read(f, ScheduleSlotOn[i]));
    for (int i = 0; i < 3; ++i)
        ui_.end[i]->setTime(readTime(f, ScheduleEnd[i], QTime::currentTime()));
    ui_.date_time->setDate(readDate(f, ScheduleDate, QDate::currentDate()));

    setIndex(ui_.set_cb_name, read(f, SetOutName));
    setIndex(ui_.scmb, read(f, SetOutFormat)); // the recording format of the last run
    ui_.ck_split->setChecked(read(f, RecordSplitByTitle));
    ui_.ck_broadcast->setChecked(read(f, RecordAsBroadcast));
    if (!ui_.TreeView1->currentItem())
        ui_.TreeView1->setCurrentItem(nodes_[0]);
    selectScheduleMode(read(f, ScheduleFormat));
}

void OptionsDialog::SaveOptions() {
    using namespace keys;
    SettingsFile &f = settings_;
    auto index = [](const QComboBox *box) { return box->currentIndex(); };

    write(f, Mp3Bitrate, index(ui_.cb_mp3_bitrate));
    write(f, Mp3Channel, index(ui_.cb_mp3_channel));
    write(f, Mp3Frequency, index(ui_.cb_mp3_frequency));
    write(f, Mp3Quality, ui_.ud_mp3_quality->value());
    write(f, VbrCodingMethod, index(ui_.cb_mp3vbrcm));
    write(f, VbrBitrate, index(ui_.cb_mp3_vbr));
    write(f, VbrQuality, ui_.ud_mp3_vbr->value());
    write(f, VbrWriteHeader, ui_.ck_mp3_VBR->isChecked());
    write(f, VbrEnforceMin, ui_.ck_mp3_semb->isChecked());
    write(f, FiltHighOn, ui_.chHFilt->isChecked());
    write(f, FiltLowOn, ui_.chLFilt->isChecked());
    write(f, FiltHighFreq, ui_.udHFiltF->value());
    write(f, FiltHighWidth, ui_.udHFiltW->value());
    write(f, FiltLowFreq, ui_.udLFiltF->value());
    write(f, FiltLowWidth, ui_.udLFiltW->value());
    write(f, ExpertBitReservoir, ui_.ck_bit->isChecked());
    write(f, ExpertShortBlocks, ui_.ck_short->isChecked());
    write(f, ExpertAllowMixed, ui_.ck_allow->isChecked());
    write(f, ExpertComply, ui_.ck_comply->isChecked());
    write(f, ExpertCrc, ui_.ck_crc->isChecked());
    write(f, ExpertAth, index(ui_.cb_ath));
    write(f, ExpertDeEmphasis, index(ui_.cb_de));
    write(f, PresetOn, ui_.ck_preset->isChecked());
    write(f, AltPresetOn, ui_.ck_alt->isChecked());
    write(f, PresetIndex, ui_.rg_prest->itemIndex());
    write(f, AltPresetIndex, ui_.rg_alt->itemIndex());
    write(f, WavMode, ui_.rb_cdmode->itemIndex());
    write(f, WavBit, index(ui_.cb_wav_bit));
    write(f, WavChannel, index(ui_.cb_wav_channel));
    write(f, WavFrequency, index(ui_.cb_wav_frequency));
    // The WMA list can be typed into: a text that names no profile is stored as -1.
    write(f, WmaFormat, ui_.cb_wma->findText(ui_.cb_wma->currentText(), Qt::MatchExactly));
    write(f, OggChannel, index(ui_.cb_ogg_channel));
    write(f, OggFrequency, index(ui_.cb_ogg_fre));
    write(f, OggBitrate, index(ui_.cb_ogg_bitrate));
    write(f, OggMaxBitrate, index(ui_.cb_ogg_maxbit));
    write(f, OggMinBitrate, index(ui_.cb_ogg_minbit));
    write(f, OggQuality, ui_.ud_ogg_quality->value());
    write(f, OggVbr, ui_.ck_oggvbr->isChecked());
    write(f, OggQualityMode, ui_.ck_oggquality->isChecked());
    codecs_->save(f);

    if (ui_.scmb->currentText() == QLatin1String("OGG") && recordingFile_)
        ApplyRecordingOggFormat(*recordingFile_, *this, recordingOggControls(), prompts_);

    write(f, GrabModeKey, grabMode_);
    write(f, GrabRetries, ui_.ud_retries->value());
    write(f, ReadOffsetKey, ui_.ud_offset->value());
    write(f, SecureCopyKey, ui_.ck_secure->isChecked());
    write(f, OverreadKey, ui_.ck_overread->isChecked());
    write(f, GrabStop, errorAction_);
    write(f, FreedbSite, index(ui_.cb_freedbsite));
    write(f, FreedbToServer, ui_.rg_freedbserver->itemIndex());
    write(f, FreedbPort, ui_.edt_port->text());
    write(f, FreedbTimeout, ui_.edt_timeout->text());
    write(f, FreedbProxy, ui_.edt_proxy->text());
    write(f, AutoOpen, ui_.cb_auto->isChecked());
    writeTime(f, ShutdownTime, ui_.dtpTime->time());
    write(f, ShutdownOn, ui_.CB_SHOWD->isChecked());
    write(f, SetOutName, index(ui_.set_cb_name));
    write(f, SetOutFormat, index(ui_.scmb));
    write(f, ScheduleFormat, scheduleMode_);
    writeDate(f, ScheduleDate, ui_.date_time->date());
    for (int i = 0; i < 3; ++i)
        writeTime(f, ScheduleBegin[i], ui_.begin[i]->time());
    for (int i = 0; i < 3; ++i)
        write(f, ScheduleSlotOn[i], ui_.cb_rec[i]->isChecked());
    for (int i = 0; i < 3; ++i)
        writeTime(f, ScheduleEnd[i], ui_.end[i]->time());
    // Our own sections after the long-standing ones, which keep their order.
    write(f, RecordSplitByTitle, ui_.ck_split->isChecked());
    write(f, RecordAsBroadcast, ui_.ck_broadcast->isChecked());
    write(f, DesktopNotify, ui_.cb_notify->isChecked());
    write(f, PlaybackGain, ui_.cb_gain->currentIndex());

    if (page_.rip() && ui_.driveCombo->currentIndex() >= 0)
        Q_EMIT driveSelected(ui_.driveCombo->currentIndex() + 1);
}

void OptionsDialog::OkClick() {
    std::optional<QString> refused;
    try {
        SaveOptions();
    } catch (const Error &e) {
        refused = e.message();
    }
    // One write for the whole dialog; the keys saved before a refused step are
    // kept, as they always were. A failed write is reported by the file's owner.
    const bool stored = settings_.commit();
    if (refused) {
        prompts_.message(*refused, QStringLiteral("Information"), PromptIcon::Information, PromptButtons::Ok);
        return;
    }
    if (stored)
        accept();
}

void OptionsDialog::CancelClick() {
    reject();
}

void OptionsDialog::Button2Click() {
    ui_.CB_SHOWD->setChecked(false);
    ui_.ck_split->setChecked(false);
    ui_.ck_broadcast->setChecked(false);
    ui_.cb_mp3_bitrate->setCurrentIndex(9);
    ui_.cb_mp3_channel->setCurrentIndex(1);
    ui_.cb_mp3_frequency->setCurrentIndex(7);
    ui_.ud_mp3_quality->setValue(5);
    ui_.cb_mp3vbrcm->setCurrentIndex(0);
    ui_.cb_mp3_vbr->setCurrentIndex(9);
    ui_.ud_mp3_vbr->setValue(5);
    ui_.ck_mp3_VBR->setChecked(true);
    ui_.ck_mp3_semb->setChecked(false);
    applyVbrMethodRule();
    ui_.chHFilt->setChecked(false);
    ui_.chLFilt->setChecked(false);
    ui_.udHFiltF->setValue(30);
    ui_.udHFiltW->setValue(5);
    ui_.udLFiltF->setValue(15160);
    ui_.udLFiltW->setValue(750);
    ui_.ck_bit->setChecked(true);
    ui_.ck_short->setChecked(true);
    ui_.ck_allow->setChecked(false);
    ui_.ck_comply->setChecked(false);
    ui_.ck_crc->setChecked(false);
    ui_.cb_ath->setCurrentIndex(0);
    ui_.cb_de->setCurrentIndex(0);
    ui_.ck_preset->setChecked(false);
    ui_.ck_alt->setChecked(false);
    ui_.rg_prest->setItemIndex(0);
    ui_.rg_alt->setItemIndex(0);
    ui_.rb_cdmode->setItemIndex(0);
    ui_.cb_wav_bit->setCurrentIndex(5);
    ui_.cb_wav_channel->setCurrentIndex(1);
    ui_.cb_wav_frequency->setCurrentIndex(8);
    applyWavModeRule();
    ui_.cb_wma->setCurrentIndex(9);
    ui_.cb_ogg_channel->setCurrentIndex(1);
    ui_.cb_ogg_fre->setCurrentIndex(7);
    ui_.cb_ogg_bitrate->setCurrentIndex(9);
    ui_.cb_ogg_maxbit->setCurrentIndex(9);
    ui_.cb_ogg_minbit->setCurrentIndex(9);
    ui_.ud_ogg_quality->setValue(300);
    ui_.ck_oggvbr->setChecked(false);
    ui_.ck_oggquality->setChecked(false);
    applyOggVbrRule();
    applyOggQualityRule();
    codecs_->setDefaults();
    ui_.cb_auto->setChecked(true);
    ui_.cb_notify->setChecked(true);
    ui_.cb_gain->setCurrentIndex(0);
    setGrabMode(0);
    ui_.ud_retries->setValue(5);
    setErrorAction(0);
    ui_.cb_freedbsite->setCurrentIndex(0);
    ui_.rg_freedbserver->setItemIndex(1);
    ui_.edt_port->setText(QString(keys::FreedbPort.def));
    ui_.edt_timeout->setText(QString(keys::FreedbTimeout.def));
    ui_.edt_proxy->clear();
    ui_.set_cb_name->setCurrentIndex(0);
    ui_.cb_name->setCurrentIndex(0);
    ui_.scmb->setCurrentIndex(0);
}

void OptionsDialog::Button7Click() {
    const QString folder = prompts_.chooseFolder(QStringLiteral("Please select a destination folder"),
                                                 ui_.ed_out->text(), FolderPurpose::OutputFolder);
    if (folder.isEmpty())
        return;
    const auto &key = keys::OutputFolderKey;
    keys::write(settings_, key, QDir::toNativeSeparators(folder));
    settings_.commit();
    showOutputFolder(keys::read(settings_, key, defaultOutputFolder()));
}

void OptionsDialog::LoadShutdownOptions() {
    const auto &time = keys::ShutdownTime;
    ui_.dtpTime->setTime(keys::readTime(settings_, time, QTime::currentTime()));
    ui_.CB_SHOWD->setChecked(keys::read(settings_, keys::ShutdownOn));
}

void OptionsDialog::showRecordingVolume(int volume) {
    const QSignalBlocker quiet(ui_.tb_rd);
    ui_.tb_rd->setValue(volume);
}

void OptionsDialog::showOutputFolder(const QString &folder) {
    ui_.ed_out->setText(folder);
}

void OptionsDialog::showEvent(QShowEvent *event) {
    // A restore by the window system is no new showing.
    if (!event->spontaneous())
        LoadOptions();
    QDialog::showEvent(event);
}

bool OptionsDialog::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        const QString text = key->text();
        if (text.size() == 1 && text[0].isPrint() &&
            !(text[0] >= QLatin1Char('0') && text[0] <= QLatin1Char('9'))) {
            QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier, QStringLiteral("\b"));
            QCoreApplication::sendEvent(watched, &backspace);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// ---- Live settings ----------------------------------------------------------

int OptionsDialog::readInteger(const keys::IntKey &key) const {
    return keys::read(settings_, key);
}

bool OptionsDialog::readBool(const keys::BoolKey &key) const {
    return keys::read(settings_, key);
}

QString OptionsDialog::mp3CommandLine() const {
    return ui_.txtCommLine->toPlainText();
}

RecordingOggControls OptionsDialog::recordingOggControls() const {
    return {ui_.ck_oggquality->isChecked(), ui_.ck_oggvbr->isChecked(), ui_.cb_ogg_channel->currentIndex(),
            ui_.ud_ogg_quality->findChild<QLineEdit *>()->text()};
}

bool OptionsDialog::openFolderWhenDone() const {
    return ui_.cb_auto->isChecked();
}

bool OptionsDialog::desktopNotifications() const {
    return ui_.cb_notify->isChecked();
}

int OptionsDialog::playbackGain() const {
    return ui_.cb_gain->currentIndex();
}
int OptionsDialog::recordNaming() const {
    return ui_.set_cb_name->currentIndex();
}
int OptionsDialog::ripFolderNaming() const {
    return ui_.cb_name->currentIndex();
}
int OptionsDialog::recordFormat() const {
    return ui_.scmb->currentIndex();
}
bool OptionsDialog::splitByTitle() const {
    return ui_.ck_split->isChecked();
}
bool OptionsDialog::recordAsBroadcast() const {
    return ui_.ck_broadcast->isChecked();
}
OptionsDialog::ScheduleSlot OptionsDialog::scheduleSlot(int slot) const {
    if (slot < 0 || slot > 2)
        return {false, {}, {}};
    return {ui_.cb_rec[slot]->isChecked(), ui_.begin[slot]->time(), ui_.end[slot]->time()};
}
QDate OptionsDialog::scheduleDate() const {
    return ui_.date_time->date();
}
QTime OptionsDialog::shutdownTime() const {
    return ui_.dtpTime->time();
}

} // namespace varnelo
