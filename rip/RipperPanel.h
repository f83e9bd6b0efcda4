#pragma once
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace varnelo {

class CdRipper;

// Panel_ripper: the rip's progress bar pb_cd (0 to 100), the output path in
// lab_ripper_name and btn_cdripper_stop ("Stop"). Hidden until a rip runs;
// bound to the ripper's hooks.
class RipperPanel : public QWidget {
    Q_OBJECT
public:
    explicit RipperPanel(CdRipper &ripper, QWidget *parent = nullptr);

    QProgressBar *pb_cd;
    QLabel *lab_ripper_name;
    QPushButton *btn_cdripper_stop;
};

} // namespace varnelo
