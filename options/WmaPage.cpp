// The options page "Set WMA Format".
#include "common/SettingsKeys.h"
#include "options/OptionsDialog.h"
#include "options/PageWidgets.h"
#include "platform/audiofile/AudioFile.h"

#include <QComboBox>
#include <QGroupBox>
#include <QVBoxLayout>

namespace varnelo {

using namespace optionspages;

QWidget *OptionsDialog::buildWmaPage() {
    ui_.gb_wma = named(new QGroupBox(QStringLiteral("WMA Format")), "gb_wma");
    ui_.cb_wma = combo("cb_wma", wmaProfileItems(), 40);
    ui_.cb_wma->setEditable(true);
    ui_.cb_wma->setInsertPolicy(QComboBox::NoInsert);
    ui_.cb_wma->setToolTip(
        QStringLiteral("Written with the WMA version 2 encoder, which encodes at a constant bit rate only.\n"
                       "The VBR quality profiles become the constant rate nearest to their quality at the\n"
                       "same sample rate, and the last entry (lossless in other encoders) is the highest "
                       "rate this one offers."));
    // Each profile the encoder cannot honour says what it becomes instead.
    for (int i = 0; i < ui_.cb_wma->count() && i < static_cast<int>(wmaProfiles().size()); ++i)
        if (const QString &note = wmaProfiles()[static_cast<std::size_t>(i)].note; !note.isEmpty())
            ui_.cb_wma->setItemData(i, note, Qt::ToolTipRole);
    auto *layout = new QVBoxLayout(ui_.gb_wma);
    layout->addWidget(ui_.cb_wma);
    layout->addStretch(1);
    return ui_.gb_wma;
}

} // namespace varnelo
