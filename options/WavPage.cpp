// The options page "Set WAV Format".
#include "common/SettingsKeys.h"
#include "options/OptionsDialog.h"
#include "options/PageWidgets.h"
#include "options/RadioGroup.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace varnelo {

using namespace optionspages;

QWidget *OptionsDialog::buildWavPage() {
    ui_.gb_wav = named(new QGroupBox, "gb_wav");
    ui_.rb_cdmode = named(
        new RadioGroup(QStringLiteral("Mode:"),
                       list({"CD quality WAV format.", "Best quality WAV format.", "Custom WAV format."}), 1),
        "rb_cdmode");
    ui_.rb_cdmode->setItemIndex(0);
    QStringList wavRates = hzItems(OutputRateTable);
    wavRates[0] = QStringLiteral("6000Hz");
    ui_.cb_wav_frequency = combo("cb_wav_frequency", wavRates, 7);
    QStringList bits;
    for (int b : SampleBitsTable)
        bits << QStringLiteral("%1 bps").arg(b);
    ui_.cb_wav_bit = combo("cb_wav_bit", bits, 5);
    ui_.cb_wav_channel = combo("cb_wav_channel", monoStereo(), 1);
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

} // namespace varnelo
