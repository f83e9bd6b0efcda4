// The options page "Set OGG Format".
#include "common/SettingsKeys.h"
#include "options/OptionsDialog.h"
#include "options/PageWidgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace varnelo {

using namespace optionspages;

QWidget *OptionsDialog::buildOggPage() {
    ui_.gb_ogg = named(new QGroupBox, "gb_ogg");
    ui_.cb_ogg_fre = combo("cb_ogg_fre", hzItems(OutputRateTable), 7);
    ui_.cb_ogg_channel = combo("cb_ogg_channel", monoStereo(), 1);
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

} // namespace varnelo
