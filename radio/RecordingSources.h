#pragma once
#include <QObject>

class QComboBox;
class QSlider;

namespace varnelo {

class AudioRecord;
class SettingsFile;

// The recording source controls of the options dialog driven with the
// recorder: the device list `cb_rd` (the choice is applied to the recorder and
// remembered as ("rd", "rd")), the inputs `cb_rdson` of the chosen device and
// its level `tb_rd`.
class RecordingSources : public QObject {
    Q_OBJECT
public:
    RecordingSources(AudioRecord &recorder, SettingsFile &settings, QComboBox *cb_rd, QComboBox *cb_rdson,
                     QSlider *tb_rd, QObject *parent = nullptr);

    // Fills the lists once (first showing of the main window) and selects the
    // remembered device; "Program output" when none is remembered or it is gone.
    void ShowRecordingSources();
    void cb_rdChange(int index);
    void cb_rdsonChange(int index);
    void tb_rdChange(int position);

private:
    void showInputs();

    AudioRecord &recorder_;
    SettingsFile &settings_;
    QComboBox *cb_rd_;
    QComboBox *cb_rdson_;
    QSlider *tb_rd_;
};

} // namespace varnelo
