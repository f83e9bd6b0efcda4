// Construction of the options dialog's pages: every control with its name,
// items, ranges and designed state.
#include "common/SettingsKeys.h"
#include "options/CodecPages.h"
#include "options/OptionsDialog.h"
#include "options/RadioGroup.h"
#include "platform/audiofile/AudioFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace varnelo {
namespace {

QString s(const char *text) {
    return QString::fromLatin1(text);
}

template <class W> W *named(W *widget, const char *name) {
    widget->setObjectName(s(name));
    return widget;
}

QStringList list(std::initializer_list<const char *> items) {
    QStringList out;
    for (const char *i : items)
        out << s(i);
    return out;
}

QComboBox *combo(const char *name, const QStringList &items, int index) {
    auto *box = named(new QComboBox, name);
    box->addItems(items);
    box->setCurrentIndex(index);
    return box;
}

QCheckBox *check(const char *name, const char *text, bool checked = false) {
    auto *box = named(new QCheckBox(s(text)), name);
    box->setChecked(checked);
    return box;
}

// An edit with an up-down: the spin box carries the up-down's name, its edit
// the edit's name.
QSpinBox *upDown(const char *name, const char *editName, int min, int max, int value, bool readOnlyEdit) {
    auto *spin = named(new QSpinBox, name);
    spin->setRange(min, max);
    spin->setValue(value);
    if (editName)
        spin->findChild<QLineEdit *>()->setObjectName(s(editName));
    if (readOnlyEdit)
        spin->findChild<QLineEdit *>()->setReadOnly(true);
    return spin;
}

QTimeEdit *timePicker(const char *name) {
    auto *edit = named(new QTimeEdit(QTime::currentTime()), name);
    edit->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    return edit;
}

QLabel *label(const char *text) {
    return new QLabel(s(text));
}

QStringList hzItems(std::span<const int> rates) {
    QStringList items;
    for (int r : rates)
        items << QStringLiteral("%1 Hz").arg(r);
    return items;
}

const QStringList kMonoStereo = {QStringLiteral("Mono"), QStringLiteral("Stereo")};

} // namespace

void OptionsDialog::buildUi() {
    setObjectName(QStringLiteral("fm_setting"));
    setWindowTitle(QStringLiteral("Options"));

    ui_.set_lb = named(new QLabel, "set_lb");
    QFont titleFont = ui_.set_lb->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.2);
    ui_.set_lb->setFont(titleFont);

    ui_.TreeView1 = named(new QTreeWidget, "TreeView1");
    ui_.TreeView1->setHeaderHidden(true);
    ui_.TreeView1->setColumnCount(1);
    ui_.TreeView1->setFixedWidth(170);
    auto node = [this](QTreeWidgetItem *parent, const char *text) {
        auto *item =
            parent ? new QTreeWidgetItem(parent, {s(text)}) : new QTreeWidgetItem(ui_.TreeView1, {s(text)});
        nodes_.push_back(item);
        return item;
    };
    QTreeWidgetItem *more = node(nullptr, "More Set");
    node(more, "Record Set");
    node(more, "Ripper Set");
    QTreeWidgetItem *mp3 = node(nullptr, "MP3");
    for (const char *child : {"General", "VBR", "Filtering", "Expert", "Presets", "Command Line"})
        node(mp3, child);
    node(nullptr, "WAV");
    node(nullptr, "WMA");
    node(nullptr, "OGG");
    node(nullptr, "FLAC");
    node(nullptr, "Opus");
    ui_.TreeView1->expandAll();

    ui_.pages = named(new QStackedWidget, "pages");
    ui_.pages->addWidget(buildSchedulePage());
    ui_.pages->addWidget(buildRecordPage());
    ui_.pages->addWidget(buildRipperPage());
    ui_.pages->addWidget(buildMp3GeneralPage());
    ui_.pages->addWidget(buildMp3VbrPage());
    ui_.pages->addWidget(buildFilterPage());
    ui_.pages->addWidget(buildExpertPage());
    ui_.pages->addWidget(buildPresetsPage());
    ui_.pages->addWidget(buildCommandPage());
    ui_.pages->addWidget(buildWavPage());
    ui_.pages->addWidget(buildWmaPage());
    ui_.pages->addWidget(buildOggPage());
    codecs_ = std::make_unique<CodecPages>();
    ui_.pages->addWidget(codecs_->flacPage);
    ui_.pages->addWidget(codecs_->opusPage);

    ui_.Ok = named(new QPushButton(QStringLiteral("Ok")), "Ok");
    ui_.Button2 = named(new QPushButton(QStringLiteral("Default")), "Button2");
    ui_.Cancel = named(new QPushButton(QStringLiteral("Close")), "Cancel");
    ui_.Ok->setDefault(true);

    auto *left = new QVBoxLayout;
    left->addWidget(ui_.TreeView1, 1);
    auto *right = new QVBoxLayout;
    right->addWidget(ui_.set_lb);
    right->addWidget(ui_.pages, 1);
    auto *body = new QHBoxLayout;
    body->addLayout(left);
    body->addLayout(right, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ui_.Ok);
    buttons->addWidget(ui_.Button2);
    buttons->addWidget(ui_.Cancel);
    auto *top = new QVBoxLayout(this);
    top->addLayout(body, 1);
    top->addLayout(buttons);
    resize(720, 480);
    setMinimumSize(640, 440);
}

QWidget *OptionsDialog::buildSchedulePage() {
    auto *page = new QWidget;
    ui_.gb_set = named(new QGroupBox, "gb_set");
    ui_.ed_out = named(new QLineEdit(defaultOutputFolder()), "ed_out");
    ui_.ed_out->setReadOnly(true);
    ui_.Button7 = named(new QPushButton(QStringLiteral("...")), "Button7");
    ui_.Button7->setFixedWidth(32);
    ui_.cb_auto = check(
        "cb_auto", " When the conversion finished,the output folder will\nbe opened automatically.", true);
    ui_.set_cb_name = combo("set_cb_name", list({"From Station name", "From Genre", "From Datetime"}), 0);
    ui_.cb_name = combo("cb_name", list({"<None>", "<Artist>", "<Album>"}), 0);
    ui_.scmb = combo("scmb", list({"MP3", "WAV", "WMA", "OGG", "FLAC", "Opus"}), 0);

    auto *folderRow = new QHBoxLayout;
    folderRow->addWidget(ui_.ed_out, 1);
    folderRow->addWidget(ui_.Button7);
    auto *form = new QFormLayout(ui_.gb_set);
    form->addRow(label("Directory select:  "), folderRow);
    form->addRow(ui_.cb_auto);
    form->addRow(label("Directory name to be created by record:  "), ui_.set_cb_name);
    form->addRow(label("Directory name to be created by ripper: "), ui_.cb_name);
    form->addRow(label("Out Format:"), ui_.scmb);

    ui_.dtpTime = timePicker("dtpTime");
    ui_.dtpTime->setEnabled(false);
    ui_.CB_SHOWD = check("CB_SHOWD", "Automatically Shut down your computer \nat the time you set.");
    auto *shutdown = new QHBoxLayout;
    shutdown->addWidget(ui_.CB_SHOWD);
    shutdown->addWidget(ui_.dtpTime);
    shutdown->addStretch(1);

    // Desktop notices: a block of its own under the shutdown row.
    ui_.cb_notify = check(
        "cb_notify",
        "Show a desktop notice when the title changes and when a\nrecording, conversion or rip ends.", true);

    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ui_.gb_set);
    layout->addLayout(shutdown);
    layout->addWidget(ui_.cb_notify);
    layout->addStretch(1);
    return page;
}

QWidget *OptionsDialog::buildRecordPage() {
    ui_.gb_rec = named(new QGroupBox, "gb_rec");
    auto *tabs = new QTabWidget;

    auto *source = new QWidget;
    auto *device = new QGroupBox(QStringLiteral("Recording Device "));
    ui_.cb_rd = named(new QComboBox, "cb_rd");
    ui_.cb_rdson = named(new QComboBox, "cb_rdson");
    auto *deviceForm = new QFormLayout(device);
    deviceForm->addRow(QStringLiteral("Device:"), ui_.cb_rd);
    deviceForm->addRow(QStringLiteral("Input:"), ui_.cb_rdson);
    auto *volume = new QGroupBox(QStringLiteral("Recording Volume"));
    ui_.tb_rd = named(new QSlider(Qt::Horizontal), "tb_rd");
    ui_.tb_rd->setRange(0, 66535);
    ui_.tb_rd->setTickPosition(QSlider::NoTicks);
    auto *volumeLayout = new QVBoxLayout(volume);
    volumeLayout->addWidget(ui_.tb_rd);
    volumeLayout->addWidget(label("Please low the volume as possible. The lower the "));
    volumeLayout->addWidget(label("volume, the better the quality. "));
    auto *how = new QGroupBox(QStringLiteral("Recording"));
    ui_.ck_split = check("ck_split", "Split by title");
    ui_.ck_split->setToolTip(QStringLiteral("A new file at each new title of the station"));
    ui_.ck_broadcast = check("ck_broadcast", "Record as broadcast");
    ui_.ck_broadcast->setToolTip(
        QStringLiteral("The station's own sound, not encoded again, when the format matches the stream's"));
    auto *howLayout = new QVBoxLayout(how);
    howLayout->addWidget(ui_.ck_split);
    howLayout->addWidget(ui_.ck_broadcast);
    auto *sourceLayout = new QVBoxLayout(source);
    sourceLayout->addWidget(device);
    sourceLayout->addWidget(volume);
    sourceLayout->addWidget(how);
    sourceLayout->addStretch(1);
    tabs->addTab(source, QStringLiteral("Recording Source"));

    auto *schedule = new QWidget;
    const char *modeNames[] = {"RadioButton1", "RadioButton2", "RadioButton3"};
    const char *modeTexts[] = {"Disabled schedule", "Every Day", "Special Day"};
    auto *modes = new QHBoxLayout;
    for (int i = 0; i < 3; ++i) {
        ui_.scheduleButtons[i] = named(new QRadioButton(s(modeTexts[i])), modeNames[i]);
        modes->addWidget(ui_.scheduleButtons[i]);
    }
    modes->addStretch(1);
    ui_.date_time = named(new QDateEdit(QDate::currentDate()), "date_time");
    ui_.date_time->setCalendarPopup(true);
    ui_.date_time->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    auto *slots = new QGridLayout;
    const char *beginNames[] = {"Begintime1", "begintime2", "begintime3"};
    const char *endNames[] = {"endtime1", "endtime2", "endtime3"};
    const char *slotNames[] = {"cb_rec1", "cb_rec2", "cb_rec3"};
    for (int i = 0; i < 3; ++i) {
        ui_.cb_rec[i] = check(slotNames[i], "");
        ui_.cb_rec[i]->setText(QStringLiteral("Slot %1").arg(i + 1));
        ui_.begin[i] = timePicker(beginNames[i]);
        ui_.end[i] = timePicker(endNames[i]);
        slots->addWidget(ui_.cb_rec[i], i, 0);
        slots->addWidget(label("Begin Time:"), i, 1);
        slots->addWidget(ui_.begin[i], i, 2);
        slots->addWidget(label("End:"), i, 3);
        slots->addWidget(ui_.end[i], i, 4);
    }
    slots->setColumnStretch(5, 1);
    auto *dateRow = new QHBoxLayout;
    dateRow->addWidget(label("Day:"));
    dateRow->addWidget(ui_.date_time);
    dateRow->addStretch(1);
    auto *scheduleLayout = new QVBoxLayout(schedule);
    scheduleLayout->addLayout(modes);
    scheduleLayout->addLayout(dateRow);
    scheduleLayout->addLayout(slots);
    scheduleLayout->addStretch(1);
    tabs->addTab(schedule, QStringLiteral("Schedule Date"));

    auto *layout = new QVBoxLayout(ui_.gb_rec);
    layout->addWidget(tabs);
    return ui_.gb_rec;
}

QWidget *OptionsDialog::buildRipperPage() {
    ui_.gb_cd = named(new QGroupBox, "gb_cd");
    auto *tabs = new QTabWidget;

    auto *cd = new QWidget;
    auto *grab = new QGroupBox(QStringLiteral("Grab Mode"));
    const char *grabNames[] = {"cd_g0", "cd_g1", "cd_g2", "cd_g3"};
    const char *grabTexts[] = {"Burst Mode", "Synch mode(Correct Jitter Errors)",
                               "Secure Mode (Double Precision Error Correction)",
                               "Paranoid Mode (Small Blocks Read, drive cache "};
    auto *grabLayout = new QVBoxLayout(grab);
    for (int i = 0; i < 4; ++i) {
        ui_.cd_g[i] = named(new QRadioButton(s(grabTexts[i])), grabNames[i]);
        grabLayout->addWidget(ui_.cd_g[i]);
    }
    auto *continued = label("disable)");
    continued->setIndent(24);
    grabLayout->addWidget(continued);
    ui_.ud_retries = upDown("ud_retries", "edt_retries", 1, 32, 5, true);
    auto *retries = new QHBoxLayout;
    retries->addWidget(label("Retries on Read or Synch Error: "));
    retries->addWidget(ui_.ud_retries);
    retries->addStretch(1);
    auto *action = new QGroupBox(QStringLiteral("Action On UnRecovery Read or Synch Error"));
    const char *actionNames[] = {"cd_a1", "cd_a2", "cd_a3"};
    const char *actionTexts[] = {"Stop", "Silence", "Cut"};
    auto *actionLayout = new QHBoxLayout(action);
    for (int i = 0; i < 3; ++i) {
        ui_.cd_a[i] = named(new QRadioButton(s(actionTexts[i])), actionNames[i]);
        actionLayout->addWidget(ui_.cd_a[i]);
    }
    actionLayout->addStretch(1);
    auto *cdLayout = new QVBoxLayout(cd);
    cdLayout->addWidget(grab);
    cdLayout->addLayout(retries);
    cdLayout->addWidget(action);
    cdLayout->addStretch(1);
    tabs->addTab(cd, QStringLiteral("CD setting"));

    auto *freedb = new QWidget;
    ui_.cb_freedbsite = combo("cb_freedbsite", freedbSiteItems(), 0);
    ui_.edt_port = named(new QLineEdit(QStringLiteral("80")), "edt_port");
    ui_.edt_timeout = named(new QLineEdit(QStringLiteral("10000")), "edt_timeout");
    ui_.edt_proxy = named(new QLineEdit, "edt_proxy");
    installDigitsFilter(ui_.edt_port);
    installDigitsFilter(ui_.edt_timeout);
    ui_.rg_freedbserver = named(
        new RadioGroup(QStringLiteral("Album Information source:"),
                       list({"Any available source", "FreeDB Server only", "From 'CDFreeDB.ini' file."}), 1),
        "rg_freedbserver");
    ui_.rg_freedbserver->setItemIndex(1);
    auto *timeout = new QHBoxLayout;
    timeout->addWidget(ui_.edt_timeout);
    timeout->addWidget(label("MS "));
    auto *freedbForm = new QFormLayout;
    freedbForm->addRow(label("Site URL:  "), ui_.cb_freedbsite);
    freedbForm->addRow(label("Port:"), ui_.edt_port);
    freedbForm->addRow(label("Timeout:"), timeout);
    freedbForm->addRow(label("Proxy:"), ui_.edt_proxy);
    auto *freedbLayout = new QVBoxLayout(freedb);
    freedbLayout->addLayout(freedbForm);
    freedbLayout->addWidget(ui_.rg_freedbserver);
    freedbLayout->addStretch(1);
    tabs->addTab(freedb, QStringLiteral("Free DB"));

    ui_.driveCombo = named(new QComboBox, "driveCombo");
    auto *drive = new QHBoxLayout;
    drive->addWidget(label("Choose dirver:"));
    drive->addWidget(ui_.driveCombo, 1);
    // A disc image (.cue or .toc) joins the drives.
    ui_.btn_cdimage = named(new QPushButton(QStringLiteral("Image...")), "btn_cdimage");
    drive->addWidget(ui_.btn_cdimage);
    connect(ui_.btn_cdimage, &QPushButton::clicked, this, &OptionsDialog::discImageRequested);
    auto *layout = new QVBoxLayout(ui_.gb_cd);
    layout->addWidget(tabs, 1);
    layout->addLayout(drive);
    return ui_.gb_cd;
}

QWidget *OptionsDialog::buildMp3GeneralPage() {
    ui_.gb_mp3general = named(new QGroupBox, "gb_mp3general");
    ui_.cb_mp3_frequency = combo("cb_mp3_frequency", hzItems(FrequencyTable), 7);
    ui_.cb_mp3_channel =
        combo("cb_mp3_channel",
              list({"Mono", "Stereo", "Joint Stereo", "Forced Joint Stereo", "Dual Channels"}), 1);
    ui_.cb_mp3_bitrate = combo("cb_mp3_bitrate", bitrateItems(), 9);
    ui_.ud_mp3_quality = upDown("ud_mp3_quality", "edt_mp3_quality", 0, 9, 5, true);
    auto *form = new QFormLayout;
    form->addRow(label("Frequency:"), ui_.cb_mp3_frequency);
    form->addRow(label("Channel:"), ui_.cb_mp3_channel);
    form->addRow(label("Bitrate:"), ui_.cb_mp3_bitrate);
    form->addRow(label("Quality:"), ui_.ud_mp3_quality);
    auto *comment = new QGroupBox(QStringLiteral("Comment:  "));
    auto *commentLayout = new QVBoxLayout(comment);
    for (const char *line :
         {"8000Hz or 8Kbps - poor quality, small file.", "48000Hz or 320Kbps - good quality, big file.",
          "Quality: 0 - best quality, low convert speed.", "Quality: 9 - low quality, fast convert speed. "})
        commentLayout->addWidget(label(line));
    auto *layout = new QVBoxLayout(ui_.gb_mp3general);
    layout->addLayout(form);
    layout->addWidget(comment);
    layout->addStretch(1);
    return ui_.gb_mp3general;
}

QWidget *OptionsDialog::buildMp3VbrPage() {
    ui_.gb_mp3vbr = named(new QGroupBox, "gb_mp3vbr");
    ui_.cb_mp3vbrcm = combo("cb_mp3vbrcm", list({"None", "Default", "Old", "New", "MTRH"}), 0);
    ui_.cb_mp3_vbr = combo("cb_mp3_vbr", bitrateItems(), 9);
    ui_.ud_mp3_vbr = upDown("ud_mp3_vbr", "edt_mp3_vbr", 0, 9, 5, true);
    ui_.ck_mp3_VBR = check("ck_mp3_VBR", "Write VBR Header", true);
    ui_.ck_mp3_semb = check("ck_mp3_semb", "Strictly enforce minimum bitrate");
    auto *method = new QFormLayout;
    method->addRow(label("Coding Method:"), ui_.cb_mp3vbrcm);
    auto *rate = new QGroupBox(QStringLiteral("VBR Bitrate/Quality: "));
    auto *rateForm = new QFormLayout(rate);
    rateForm->addRow(label("VBR Bitrate: "), ui_.cb_mp3_vbr);
    rateForm->addRow(label("VBR Quality: "), ui_.ud_mp3_vbr);
    auto *advanced = new QGroupBox(QStringLiteral("Advanced"));
    auto *advancedLayout = new QVBoxLayout(advanced);
    advancedLayout->addWidget(ui_.ck_mp3_VBR);
    advancedLayout->addWidget(ui_.ck_mp3_semb);
    auto *layout = new QVBoxLayout(ui_.gb_mp3vbr);
    layout->addLayout(method);
    layout->addWidget(rate);
    layout->addWidget(advanced);
    layout->addStretch(1);
    return ui_.gb_mp3vbr;
}

QWidget *OptionsDialog::buildFilterPage() {
    ui_.gb_filter = named(new QGroupBox, "gb_filter");
    auto filterGroup = [](const char *title, QCheckBox *on, QSpinBox *freq, QLabel *widthLabel,
                          QSpinBox *width) {
        auto *group = new QGroupBox(s(title));
        auto *grid = new QGridLayout(group);
        grid->addWidget(on, 0, 0);
        grid->addWidget(freq, 0, 1);
        grid->addWidget(widthLabel, 1, 0);
        grid->addWidget(width, 1, 1);
        grid->setColumnStretch(2, 1);
        for (QWidget *w : {static_cast<QWidget *>(freq), static_cast<QWidget *>(widthLabel),
                           static_cast<QWidget *>(width)})
            w->setEnabled(false);
        return group;
    };
    ui_.chHFilt = check("chHFilt", "Highpass filtering frequency (in Hz):");
    ui_.udHFiltF = upDown("udHFiltF", nullptr, 0, 48000, 30, false);
    ui_.lbHFiltW = named(label("Width of Highpass filter (in Hz):"), "lbHFiltW");
    ui_.udHFiltW = upDown("udHFiltW", nullptr, 0, 48000, 5, false);
    ui_.chLFilt = check("chLFilt", "Lowpass filtering frequency (in Hz):");
    ui_.udLFiltF = upDown("udLFiltF", nullptr, 0, 48000, 15160, false);
    ui_.lbLFiltW = named(label("Width of Lowpass filter (in Hz):"), "lbLFiltW");
    ui_.udLFiltW = upDown("udLFiltW", nullptr, 0, 48000, 750, false);
    auto *layout = new QVBoxLayout(ui_.gb_filter);
    layout->addWidget(filterGroup("HighPass Filter", ui_.chHFilt, ui_.udHFiltF, ui_.lbHFiltW, ui_.udHFiltW));
    layout->addWidget(filterGroup("LowPass Filter", ui_.chLFilt, ui_.udLFiltF, ui_.lbLFiltW, ui_.udLFiltW));
    layout->addStretch(1);
    return ui_.gb_filter;
}

QWidget *OptionsDialog::buildExpertPage() {
    ui_.gb_expert = named(new QGroupBox, "gb_expert");
    ui_.ck_bit = check("ck_bit", "bit reservoir", true);
    ui_.ck_short = check("ck_short", "short blocks", true);
    ui_.ck_allow = check("ck_allow", "allow block types to differ between channels");
    ui_.ck_comply = check("ck_comply", "comply as much as possible to ISO MPEG spec");
    ui_.ck_crc = check("ck_crc", "include CRC -Checksums");
    ui_.cb_ath = combo("cb_ath", list({"default", "only", "disabled", "only for short blocks"}), 0);
    ui_.cb_de = combo("cb_de", list({"default", "0/15 microseconds", "citt j.17"}), 0);
    auto *layout = new QVBoxLayout(ui_.gb_expert);
    for (QCheckBox *box : {ui_.ck_bit, ui_.ck_short, ui_.ck_allow, ui_.ck_comply, ui_.ck_crc})
        layout->addWidget(box);
    auto *form = new QFormLayout;
    form->addRow(label("ATH Control:"), ui_.cb_ath);
    form->addRow(label("De-emphasis :"), ui_.cb_de);
    layout->addLayout(form);
    layout->addStretch(1);
    return ui_.gb_expert;
}

QWidget *OptionsDialog::buildPresetsPage() {
    ui_.gb_presets = named(new QGroupBox, "gb_presets");
    ui_.ck_preset = check("ck_preset", "Preset");
    ui_.ck_alt = check("ck_alt", "Alt-Preset");
    ui_.rg_prest = named(
        new RadioGroup(
            QString(),
            list({"Phone", "SW", "AM", "FM", "Voice", "Radio", "Type", "HiFi", "CD", "Studio", "R3Mix"}), 4),
        "rg_prest");
    ui_.rg_alt =
        named(new RadioGroup(QString(),
                             list({"Fast Standard", "Standard", "Fast Extreme", "Extrene", "Insane"}), 2),
              "rg_alt");
    ui_.rg_prest->setItemIndex(0);
    ui_.rg_alt->setItemIndex(0);
    ui_.rg_prest->setEnabled(false);
    ui_.rg_alt->setEnabled(false);
    auto *layout = new QVBoxLayout(ui_.gb_presets);
    layout->addWidget(ui_.ck_preset);
    layout->addWidget(ui_.rg_prest);
    layout->addWidget(ui_.ck_alt);
    layout->addWidget(ui_.rg_alt);
    layout->addStretch(1);
    return ui_.gb_presets;
}

QWidget *OptionsDialog::buildCommandPage() {
    ui_.gb_command = named(new QGroupBox, "gb_command");
    ui_.txtCommLine = named(new QPlainTextEdit, "txtCommLine");
    ui_.txtCommLine->setPlaceholderText(QStringLiteral("LAME options, e.g. -V 2 --lowpass 19.5"));
    ui_.txtCommLine->setToolTip(QStringLiteral(
        "Options given here are applied on top of the MP3 settings, as on the LAME command line.\n"
        "They last until the program ends."));
    auto *layout = new QVBoxLayout(ui_.gb_command);
    layout->addWidget(ui_.txtCommLine);
    return ui_.gb_command;
}

QWidget *OptionsDialog::buildWavPage() {
    ui_.gb_wav = named(new QGroupBox, "gb_wav");
    ui_.rb_cdmode =
        named(new RadioGroup(
                  QStringLiteral("Mode:"),
                  list({"CD quality WAV format.", "Best good quality WAV format.", "Custom WAV format."}), 1),
              "rb_cdmode");
    ui_.rb_cdmode->setItemIndex(0);
    QStringList wavRates = hzItems(OutputRateTable);
    wavRates[0] = QStringLiteral("6000Hz");
    ui_.cb_wav_frequency = combo("cb_wav_frequency", wavRates, 7);
    QStringList bits;
    for (int b : SampleBitsTable)
        bits << QStringLiteral("%1 bps").arg(b);
    ui_.cb_wav_bit = combo("cb_wav_bit", bits, 5);
    ui_.cb_wav_channel = combo("cb_wav_channel", kMonoStereo, 1);
    auto *general = new QGroupBox(QStringLiteral("General Options:"));
    auto *form = new QFormLayout(general);
    form->addRow(label("Frequency:"), ui_.cb_wav_frequency);
    form->addRow(label("Bit Per Sample"), ui_.cb_wav_bit);
    form->addRow(label("Channel:"), ui_.cb_wav_channel);
    auto *note = named(label("2, 3, 4 and 5 bits per sample are written as G.726 ADPCM, which is always\n"
                             "8000 Hz mono: the sound is resampled and mixed down whatever frequency and\n"
                             "channels are chosen. 8 bits is unsigned PCM, 16 and 32 bits signed PCM."),
                       "lb_wav_note");
    note->setWordWrap(true);
    auto *layout = new QVBoxLayout(ui_.gb_wav);
    layout->addWidget(ui_.rb_cdmode);
    layout->addWidget(general);
    layout->addWidget(note);
    layout->addStretch(1);
    return ui_.gb_wav;
}

QWidget *OptionsDialog::buildWmaPage() {
    ui_.gb_wma = named(new QGroupBox(QStringLiteral("WMA Format")), "gb_wma");
    ui_.cb_wma = combo("cb_wma", wmaProfileItems(), 40);
    ui_.cb_wma->setEditable(true);
    ui_.cb_wma->setInsertPolicy(QComboBox::NoInsert);
    ui_.cb_wma->setToolTip(
        QStringLiteral("Written with the WMA version 2 encoder, which encodes at a constant bit rate only.\n"
                       "The VBR quality profiles become the constant rate nearest to their quality at the\n"
                       "same sample rate, and \"Lossless\" becomes the highest rate the encoder offers."));
    // Each profile the encoder cannot honour says what it becomes instead.
    for (int i = 0; i < ui_.cb_wma->count() && i < static_cast<int>(wmaProfiles().size()); ++i)
        if (const QString &note = wmaProfiles()[static_cast<std::size_t>(i)].note; !note.isEmpty())
            ui_.cb_wma->setItemData(i, note, Qt::ToolTipRole);
    auto *layout = new QVBoxLayout(ui_.gb_wma);
    layout->addWidget(ui_.cb_wma);
    layout->addStretch(1);
    return ui_.gb_wma;
}

QWidget *OptionsDialog::buildOggPage() {
    ui_.gb_ogg = named(new QGroupBox, "gb_ogg");
    ui_.cb_ogg_fre = combo("cb_ogg_fre", hzItems(OutputRateTable), 7);
    ui_.cb_ogg_channel = combo("cb_ogg_channel", kMonoStereo, 1);
    ui_.cb_ogg_bitrate = combo("cb_ogg_bitrate", bitrateItems(), 9);
    ui_.cb_ogg_minbit = combo("cb_ogg_minbit", bitrateItems(), 9);
    ui_.cb_ogg_maxbit = combo("cb_ogg_maxbit", bitrateItems(), 9);
    ui_.ck_oggvbr = check("ck_oggvbr", "VBR");
    ui_.ck_oggquality = check("ck_oggquality", "Quality");
    ui_.ud_ogg_quality = upDown("ud_ogg_quality", "edt_ogg_quality", 0, 1000, 300, false);
    ui_.ud_ogg_quality->findChild<QLineEdit *>()->setMaxLength(5);
    // The spin box takes the keys and hands them to its edit, so it gets the filter.
    installDigitsFilter(ui_.ud_ogg_quality);
    ui_.cb_ogg_minbit->setEnabled(false);
    ui_.cb_ogg_maxbit->setEnabled(false);
    ui_.ud_ogg_quality->setEnabled(false);

    auto *general = new QGroupBox(QStringLiteral("General"));
    auto *generalForm = new QFormLayout(general);
    generalForm->addRow(label("Frequency:"), ui_.cb_ogg_fre);
    generalForm->addRow(label("Channel:"), ui_.cb_ogg_channel);
    generalForm->addRow(label("Bitrate:"), ui_.cb_ogg_bitrate);
    auto *vbr = new QGroupBox(QStringLiteral("VBR/Quality:"));
    auto *vbrGrid = new QGridLayout(vbr);
    vbrGrid->addWidget(ui_.ck_oggvbr, 0, 0);
    vbrGrid->addWidget(label("Min bitrate:"), 0, 1);
    vbrGrid->addWidget(ui_.cb_ogg_minbit, 0, 2);
    vbrGrid->addWidget(label("Max bitrate:"), 1, 1);
    vbrGrid->addWidget(ui_.cb_ogg_maxbit, 1, 2);
    vbrGrid->addWidget(ui_.ck_oggquality, 2, 0);
    vbrGrid->addWidget(label("Quality (0-1000):"), 2, 1);
    vbrGrid->addWidget(ui_.ud_ogg_quality, 2, 2);
    vbrGrid->setColumnStretch(3, 1);
    auto *layout = new QVBoxLayout(ui_.gb_ogg);
    layout->addWidget(general);
    layout->addWidget(vbr);
    layout->addStretch(1);
    return ui_.gb_ogg;
}

void OptionsDialog::installDigitsFilter(QObject *edit) {
    edit->installEventFilter(this);
    if (auto *line = qobject_cast<QLineEdit *>(edit); line && !line->validator())
        // Pasted text gets no key events; the validator keeps it to digits too.
        line->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), line));
}

} // namespace varnelo
