#pragma once
#include "common/SettingsKeys.h"

#include <QDialog>
#include <array>
#include <functional>

class QCheckBox;
class QGroupBox;
class QPushButton;

namespace varnelo {

class FileAssociation;
class SettingsFile;

// The dialog `fm_associate` ("Associate"): one check box per audio type. Each
// showing ticks the boxes from the remembered choices (section "assoc"), never
// from the desktop's own state; "Associate" applies and remembers them in the
// order mp3, wav, ogg, wma; "Cancel" writes nothing.
class AssociateDialog : public QDialog {
    Q_OBJECT
public:
    AssociateDialog(SettingsFile &settings, FileAssociation &association, QWidget *parent = nullptr);

    QGroupBox *groupBox;
    QCheckBox *cbx_wav;
    QCheckBox *cbx_mp3;
    QCheckBox *cbx_ogg;
    QCheckBox *cbx_wma;
    QPushButton *btn_associate;
    QPushButton *btn_cancel;

    // A failure stops at that extension: the later ones are not applied, no
    // choice from it on is remembered, the dialog stays open and the error
    // goes to `reportError`.
    void btn_associateClick();
    void btn_cancelClick();
    std::function<void(const QString &)> reportError;

protected:
    void showEvent(QShowEvent *event) override;

private:
    // The boxes with their keys, in the order they are applied.
    std::array<std::pair<QCheckBox *, const keys::BoolKey *>, 4> boxes() const;
    void LoadChoices();

    SettingsFile &settings_;
    FileAssociation &association_;
};

} // namespace varnelo
