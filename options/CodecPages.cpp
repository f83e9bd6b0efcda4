#include "options/CodecPages.h"

#include "common/SettingsFile.h"
#include "common/SettingsKeys.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

namespace varnelo {
namespace {

template <class W> W *named(W *widget, const char *name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QSpinBox *spin(const char *name, int low, int high, int value, const QString &suffix = {}) {
    auto *box = named(new QSpinBox, name);
    box->setRange(low, high);
    box->setValue(value);
    box->setSuffix(suffix);
    return box;
}

QWidget *page(const char *name, const QString &title, QFormLayout *form, const QString &note) {
    auto *box = named(new QGroupBox(title), name);
    auto *layout = new QVBoxLayout(box);
    layout->addLayout(form);
    auto *text = new QLabel(note);
    text->setWordWrap(true);
    layout->addWidget(text);
    layout->addStretch(1);
    return box;
}

// A stored value the control cannot show takes the key's default.
void setValue(QSpinBox *box, int value, int fallback) {
    box->setValue(value >= box->minimum() && value <= box->maximum() ? value : fallback);
}
void setIndex(QComboBox *box, int index, int fallback) {
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : fallback);
}

} // namespace

CodecPages::CodecPages() {
    using namespace keys;
    cb_flac_bits = named(new QComboBox, "cb_flac_bits");
    cb_flac_bits->addItems(
        {QStringLiteral("As the source"), QStringLiteral("16 bits"), QStringLiteral("24 bits")});
    ud_flac_level = spin("ud_flac_level", 0, 8, FlacLevel.def);
    auto *flac = new QFormLayout;
    flac->addRow(QStringLiteral("Bits per sample:"), cb_flac_bits);
    flac->addRow(QStringLiteral("Compression level (0-8):"), ud_flac_level);
    flacPage =
        page("gb_flac", QStringLiteral("FLAC Format"), flac,
             QStringLiteral("FLAC keeps every sample of the source: a higher level makes smaller files "
                            "and takes longer to write, never changing the sound. \"As the source\" "
                            "writes 24 bits for 24- and 32-bit sources, else 16 bits."));

    ud_opus_bitrate = spin("ud_opus_bitrate", 6, 510, OpusBitrate.def, QStringLiteral(" kbps"));
    cb_opus_mode = named(new QComboBox, "cb_opus_mode");
    cb_opus_mode->addItems({QStringLiteral("VBR"), QStringLiteral("Constrained VBR"), QStringLiteral("CBR")});
    ud_opus_complexity = spin("ud_opus_complexity", 0, 10, OpusComplexity.def);
    auto *opus = new QFormLayout;
    opus->addRow(QStringLiteral("Bitrate:"), ud_opus_bitrate);
    opus->addRow(QStringLiteral("Mode:"), cb_opus_mode);
    opus->addRow(QStringLiteral("Complexity (0-10):"), ud_opus_complexity);
    opusPage = page("gb_opus", QStringLiteral("Opus Format"), opus,
                    QStringLiteral("Opus files are always 48000 Hz; other sources are resampled. A lower "
                                   "complexity encodes faster at some cost in quality."));
}

void CodecPages::load(const SettingsFile &f) {
    using namespace keys;
    setIndex(cb_flac_bits, read(f, FlacBits), FlacBits.def);
    setValue(ud_flac_level, read(f, FlacLevel), FlacLevel.def);
    setValue(ud_opus_bitrate, read(f, OpusBitrate), OpusBitrate.def);
    setIndex(cb_opus_mode, read(f, OpusMode), OpusMode.def);
    setValue(ud_opus_complexity, read(f, OpusComplexity), OpusComplexity.def);
}

void CodecPages::save(SettingsFile &f) const {
    using namespace keys;
    write(f, FlacBits, cb_flac_bits->currentIndex());
    write(f, FlacLevel, ud_flac_level->value());
    write(f, OpusBitrate, ud_opus_bitrate->value());
    write(f, OpusMode, cb_opus_mode->currentIndex());
    write(f, OpusComplexity, ud_opus_complexity->value());
}

void CodecPages::setDefaults() {
    using namespace keys;
    cb_flac_bits->setCurrentIndex(FlacBits.def);
    ud_flac_level->setValue(FlacLevel.def);
    ud_opus_bitrate->setValue(OpusBitrate.def);
    cb_opus_mode->setCurrentIndex(OpusMode.def);
    ud_opus_complexity->setValue(OpusComplexity.def);
}

} // namespace varnelo
