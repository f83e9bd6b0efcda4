// The MP3 pages of the options: general, VBR, filter, expert, presets and command line.
#include "common/SettingsKeys.h"
#include "options/OptionsDialog.h"
#include "options/PageWidgets.h"
#include "options/RadioGroup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace varnelo {

using namespace optionspages;

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
                             list({"Fast Standard", "Standard", "Fast Extreme", "Extreme", "Insane"}), 2),
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

} // namespace varnelo
