// The options page "Set Record": output folder, naming, format and recording source.
#include "options/OptionsDialog.h"
#include "options/PageWidgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace varnelo {

using namespace optionspages;

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
    volumeLayout->addWidget(label("Please lower the volume as far as possible. The lower the "));
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

} // namespace varnelo
