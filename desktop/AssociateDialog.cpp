#include "desktop/AssociateDialog.h"

#include "common/Error.h"
#include "common/SettingsFile.h"
#include "common/SettingsKeys.h"
#include "desktop/FileAssociation.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace varnelo {
AssociateDialog::AssociateDialog(SettingsFile &settings, FileAssociation &association, QWidget *parent)
    : QDialog(parent), settings_(settings), association_(association) {
    setObjectName(QStringLiteral("fm_associate"));
    setWindowTitle(QStringLiteral("Associate"));
    const auto named = [](auto *w, const char *name) {
        w->setObjectName(QLatin1String(name));
        return w;
    };
    groupBox = named(new QGroupBox(QStringLiteral("Associate Type"), this), "GroupBox1");
    cbx_wav = named(new QCheckBox(QStringLiteral(".WAV"), groupBox), "cbx_wav");
    cbx_mp3 = named(new QCheckBox(QStringLiteral(".MP3"), groupBox), "cbx_mp3");
    cbx_ogg = named(new QCheckBox(QStringLiteral(".OGG"), groupBox), "cbx_ogg");
    cbx_wma = named(new QCheckBox(QStringLiteral(".WMA"), groupBox), "cbx_wma");
    btn_associate = named(new QPushButton(QStringLiteral("Associate"), this), "btn_associate");
    btn_cancel = named(new QPushButton(QStringLiteral("Cancel"), this), "btn_cancel");
    btn_associate->setDefault(true);

    auto *types = new QVBoxLayout(groupBox);
    for (QCheckBox *box : {cbx_wav, cbx_mp3, cbx_ogg, cbx_wma})
        types->addWidget(box);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btn_associate);
    buttons->addWidget(btn_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(groupBox);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(btn_associate, &QPushButton::clicked, this, &AssociateDialog::btn_associateClick);
    connect(btn_cancel, &QPushButton::clicked, this, &AssociateDialog::btn_cancelClick);
}

std::array<std::pair<QCheckBox *, const keys::BoolKey *>, 4> AssociateDialog::boxes() const {
    // The key of each type is named after its extension.
    return {{{cbx_mp3, &keys::Associations[0]},
             {cbx_wav, &keys::Associations[1]},
             {cbx_ogg, &keys::Associations[2]},
             {cbx_wma, &keys::Associations[3]}}};
}

void AssociateDialog::LoadChoices() {
    for (const auto &[box, key] : boxes())
        box->setChecked(keys::read(settings_, *key));
}

void AssociateDialog::showEvent(QShowEvent *event) {
    if (!event->spontaneous())
        LoadChoices();
    QDialog::showEvent(event);
}

void AssociateDialog::btn_associateClick() {
    try {
        for (const auto &[box, key] : boxes()) {
            const QString extension = keys::name(key->key);
            if (box->isChecked())
                association_.Associate(extension);
            else
                association_.Unassociate(extension);
            keys::write(settings_, *key, box->isChecked());
        }
    } catch (const Error &e) {
        settings_.commit(); // the types done before the failure stay remembered
        if (!reportError)
            throw;
        reportError(e.message());
        return;
    }
    settings_.commit();
    close();
}

void AssociateDialog::btn_cancelClick() {
    close();
}

} // namespace varnelo
