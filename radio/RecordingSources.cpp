#include "radio/RecordingSources.h"

#include "common/SettingsFile.h"
#include "common/SettingsKeys.h"
#include "platform/sound/AudioRecord.h"

#include <QComboBox>
#include <QSignalBlocker>
#include <QSlider>

namespace varnelo {

RecordingSources::RecordingSources(AudioRecord &recorder, SettingsFile &settings, QComboBox *cb_rd,
                                   QComboBox *cb_rdson, QSlider *tb_rd, QObject *parent)
    : QObject(parent), recorder_(recorder), settings_(settings), cb_rd_(cb_rd), cb_rdson_(cb_rdson),
      tb_rd_(tb_rd) {}

void RecordingSources::ShowRecordingSources() {
    const QSignalBlocker quiet(cb_rd_);
    cb_rd_->clear();
    const int max = recorder_.GetMaxDeviceIndex();
    for (int i = 0; i <= max; ++i) {
        recorder_.SetDevice(i);
        cb_rd_->addItem(recorder_.GetDeviceName());
    }
    int chosen = keys::readInteger(settings_, keys::RecordDevice, AudioRecord::ProgramOutputDevice);
    if (chosen < 0 || chosen > max)
        chosen = AudioRecord::ProgramOutputDevice;
    cb_rd_->setCurrentIndex(chosen);
    recorder_.SetDevice(chosen);
    showInputs();
}

void RecordingSources::showInputs() {
    {
        const QSignalBlocker quiet(cb_rdson_);
        cb_rdson_->clear();
        for (int e = 1; e <= recorder_.GetInputCount(); ++e) {
            recorder_.SetInput(e);
            cb_rdson_->addItem(recorder_.GetInputName());
            if (recorder_.GetInputSelected())
                cb_rdson_->setCurrentIndex(e - 1);
        }
    }
    recorder_.SetInput(cb_rdson_->currentIndex() + 1);
    const QSignalBlocker quiet(tb_rd_);
    tb_rd_->setValue(recorder_.GetInputVolume());
}

void RecordingSources::cb_rdChange(int index) {
    if (index < 0)
        return;
    recorder_.SetDevice(index);
    keys::writeInteger(settings_, keys::RecordDevice, index);
    settings_.commit();
    showInputs();
}

void RecordingSources::cb_rdsonChange(int index) {
    recorder_.SetInput(index + 1);
    recorder_.SetInputSelected(true);
    const QSignalBlocker quiet(tb_rd_);
    tb_rd_->setValue(recorder_.GetInputVolume());
}

void RecordingSources::tb_rdChange(int position) {
    recorder_.SetInputVolume(position);
}

} // namespace varnelo
