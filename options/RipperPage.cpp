// The options page "Set Ripper": drive, reading mode and the disc lookup.
#include "common/SettingsKeys.h"
#include "options/OptionsDialog.h"
#include "options/PageWidgets.h"
#include "options/RadioGroup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace varnelo {

using namespace optionspages;

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
    // Typed as the drive offset lists give it; `varnelo-cli cd offset` finds it from a disc.
    ui_.ud_offset = named(new QSpinBox, "ud_offset");
    ui_.ud_offset->setRange(-3000, 3000);
    ui_.ud_offset->setSuffix(QStringLiteral(" samples"));
    ui_.ud_offset->setToolTip(QStringLiteral("The drive's read offset correction, as AccurateRip's drive "
                                             "offset list gives it; 0 when unknown."));
    ui_.btn_findoffset = named(new QPushButton(QStringLiteral("Find")), "btn_findoffset");
    ui_.btn_findoffset->setToolTip(
        QStringLiteral("Reads the disc once and finds the offset at which AccurateRip's "
                       "checksums of it match (a disc the database knows)."));
    ui_.btn_lookupoffset = named(new QPushButton(QStringLiteral("Look up")), "btn_lookupoffset");
    ui_.btn_lookupoffset->setToolTip(QStringLiteral("The drive's offset from AccurateRip's list of drives."));
    ui_.btn_findoffset->hide(); // until the hooks are set
    ui_.btn_lookupoffset->hide();
    ui_.lab_offset = named(new QLabel, "lab_offset");
    ui_.lab_offset->setWordWrap(true);
    const auto ask = [this](const std::function<void(OffsetReply)> &hook, const QString &working) {
        if (!hook)
            return;
        ui_.btn_findoffset->setEnabled(false);
        ui_.btn_lookupoffset->setEnabled(false);
        ui_.lab_offset->setText(working);
        QPointer<OptionsDialog> self(this);
        hook([self](std::optional<int> offset, const QString &message) {
            if (!self)
                return;
            if (offset)
                self->ui_.ud_offset->setValue(*offset);
            self->ui_.lab_offset->setText(message);
            self->ui_.btn_findoffset->setEnabled(true);
            self->ui_.btn_lookupoffset->setEnabled(true);
        });
    };
    connect(ui_.btn_findoffset, &QPushButton::clicked, this,
            [this, ask] { ask(findReadOffset, QStringLiteral("Reading the disc...")); });
    connect(ui_.btn_lookupoffset, &QPushButton::clicked, this,
            [this, ask] { ask(lookUpReadOffset, QStringLiteral("Looking the drive up...")); });
    auto *offset = new QHBoxLayout;
    offset->addWidget(label("Read offset of the drive: "));
    offset->addWidget(ui_.ud_offset);
    offset->addWidget(ui_.btn_findoffset);
    offset->addWidget(ui_.btn_lookupoffset);
    offset->addStretch(1);
    ui_.ck_secure = named(new QCheckBox(QStringLiteral("Test and copy (read every track twice and compare)")),
                          "ck_secure");
    ui_.ck_secure->setToolTip(
        QStringLiteral("A track whose two reads differ is read again up to the retries; "
                       "the log says \"Copy OK\" or \"Copy and test differ\"."));
    ui_.ck_overread = named(new QCheckBox(QStringLiteral("Overread into the lead-out")), "ck_overread");
    ui_.ck_overread->setToolTip(QStringLiteral(
        "With a read offset, the samples past the disc's end come from the drive where it can read "
        "them, instead of silence."));
    auto *action = new QGroupBox(QStringLiteral("Action on an Unrecoverable Read or Sync Error"));
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
    cdLayout->addLayout(offset);
    cdLayout->addWidget(ui_.lab_offset);
    cdLayout->addWidget(ui_.ck_secure);
    cdLayout->addWidget(ui_.ck_overread);
    cdLayout->addWidget(action);
    cdLayout->addStretch(1);
    tabs->addTab(cd, QStringLiteral("CD setting"));

    auto *freedb = new QWidget;
    ui_.cb_freedbsite = combo("cb_freedbsite", freedbSiteItems(), 0);
    ui_.edt_port = named(new QLineEdit(QString(keys::FreedbPort.def)), "edt_port");
    ui_.edt_timeout = named(new QLineEdit(QString(keys::FreedbTimeout.def)), "edt_timeout");
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
    drive->addWidget(label("Choose drive:"));
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

void OptionsDialog::offsetHooksChanged() {
    ui_.btn_findoffset->setVisible(bool(findReadOffset));
    ui_.btn_lookupoffset->setVisible(bool(lookUpReadOffset));
}

} // namespace varnelo
