// The options page "Schedule": the three recording slots and when they run.
#include "options/OptionsDialog.h"
#include "options/PageWidgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace varnelo {

using namespace optionspages;

QWidget *OptionsDialog::buildSchedulePage() {
    auto *page = new QWidget;
    ui_.gb_set = named(new QGroupBox, "gb_set");
    ui_.ed_out = named(new QLineEdit(defaultOutputFolder()), "ed_out");
    ui_.ed_out->setReadOnly(true);
    ui_.Button7 = named(new QPushButton(QStringLiteral("...")), "Button7");
    ui_.Button7->setFixedWidth(32);
    ui_.cb_auto = check(
        "cb_auto", " When the conversion finished, the output folder will\nbe opened automatically.", true);
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

    // Local playback levelled by the files' ReplayGain tags, never above their peak.
    ui_.cb_gain = combo(
        "cb_gain", {QStringLiteral("Off"), QStringLiteral("Track gain"), QStringLiteral("Album gain")}, 0);
    auto *gain = new QHBoxLayout;
    gain->addWidget(label("ReplayGain when playing files: "));
    gain->addWidget(ui_.cb_gain);
    gain->addStretch(1);

    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ui_.gb_set);
    layout->addLayout(shutdown);
    layout->addWidget(ui_.cb_notify);
    layout->addLayout(gain);
    layout->addStretch(1);
    return page;
}

} // namespace varnelo
