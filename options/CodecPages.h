#pragma once

class QComboBox;
class QSpinBox;
class QWidget;

namespace varnelo {

class SettingsFile;

// The FLAC and Opus pages of the options dialog, kept apart from the pages of
// the first four formats: their controls and how they load, save and reset.
struct CodecPages {
    CodecPages();

    QWidget *flacPage;
    QComboBox *cb_flac_bits; // As source, 16 bits, 24 bits
    QSpinBox *ud_flac_level; // 0..8
    QWidget *opusPage;
    QSpinBox *ud_opus_bitrate; // kbps
    QComboBox *cb_opus_mode;   // VBR, constrained VBR, CBR
    QSpinBox *ud_opus_complexity;

    void load(const SettingsFile &file);
    void save(SettingsFile &file) const;
    void setDefaults();
};

} // namespace varnelo
