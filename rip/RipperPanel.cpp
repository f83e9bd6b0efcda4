#include "rip/RipperPanel.h"

#include "rip/CdRipper.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace varnelo {

RipperPanel::RipperPanel(CdRipper &ripper, QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Panel_ripper"));
    pb_cd = new QProgressBar(this);
    pb_cd->setObjectName(QStringLiteral("pb_cd"));
    pb_cd->setRange(0, 100);
    pb_cd->setValue(0);
    lab_ripper_name = new QLabel(this);
    lab_ripper_name->setObjectName(QStringLiteral("lab_ripper_name"));
    // A long path is cut at the start: the file name is what matters.
    lab_ripper_name->setMinimumWidth(40);
    btn_cdripper_stop = new QPushButton(QStringLiteral("Stop"), this);
    btn_cdripper_stop->setObjectName(QStringLiteral("btn_cdripper_stop"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(pb_cd, 2);
    layout->addWidget(lab_ripper_name, 3);
    layout->addWidget(btn_cdripper_stop);
    hide();

    connect(btn_cdripper_stop, &QPushButton::clicked, &ripper, &CdRipper::StopRip);
    ripper.showPanel = [this](bool on) {
        setVisible(on);
        if (on)
            raise();
    };
    ripper.setProgress = [this](int value) { pb_cd->setValue(std::clamp(value, 0, 100)); };
    ripper.setRipperName = [this](const QString &text) {
        lab_ripper_name->setToolTip(text.trimmed());
        lab_ripper_name->setText(
            fontMetrics().elidedText(text, Qt::ElideLeft, std::max(lab_ripper_name->width(), 120)));
    };
}

} // namespace varnelo
