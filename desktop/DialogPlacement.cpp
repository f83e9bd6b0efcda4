#include "desktop/DialogPlacement.h"

#include <QWidget>

namespace varnelo {

QPoint CentredPosition(const QRect &owner, const QSize &dialog) {
    return {owner.left() + (owner.width() - dialog.width()) / 2,
            owner.top() + (owner.height() - dialog.height()) / 2};
}

void CentreOver(QWidget *dialog, const QWidget *owner) {
    if (!dialog || !owner)
        return;
    if (!dialog->testAttribute(Qt::WA_WState_Created) && !dialog->testAttribute(Qt::WA_Resized))
        dialog->adjustSize();
    // The owner's frame on the screen, whether it is a window or a widget in one.
    const QRect ownerRect(owner->mapToGlobal(QPoint(0, 0)), owner->size());
    dialog->move(CentredPosition(ownerRect, dialog->size()));
}

void ShowCentred(QWidget *dialog, const QWidget *owner) {
    if (!dialog)
        return;
    CentreOver(dialog, owner);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

} // namespace varnelo
