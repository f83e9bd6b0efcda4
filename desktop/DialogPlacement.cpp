#include "desktop/DialogPlacement.h"

#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace varnelo {

QPoint CentredPosition(const QRect &owner, const QSize &dialog) {
    return {owner.left() + (owner.width() - dialog.width()) / 2,
            owner.top() + (owner.height() - dialog.height()) / 2};
}

QPoint CentredOnScreen(const QRect &owner, const QSize &dialog, const QRect &screen) {
    const QPoint at = CentredPosition(owner, dialog);
    const auto inside = [](int value, int low, int room, int size) {
        return std::max(low, std::min(value, low + room - size));
    };
    return {inside(at.x(), screen.left(), screen.width(), dialog.width()),
            inside(at.y(), screen.top(), screen.height(), dialog.height())};
}

void CentreOver(QWidget *dialog, const QWidget *owner) {
    if (!dialog || !owner)
        return;
    if (!dialog->testAttribute(Qt::WA_WState_Created) && !dialog->testAttribute(Qt::WA_Resized))
        dialog->adjustSize();
    // The owner's frame on the screen, whether it is a window or a widget in one.
    const QRect ownerRect(owner->mapToGlobal(QPoint(0, 0)), owner->size());
    const QScreen *screen = owner->screen();
    if (!screen) {
        dialog->move(CentredPosition(ownerRect, dialog->size()));
        return;
    }
    const QRect room = screen->availableGeometry();
    const QSize fitted = dialog->size().boundedTo(room.size()).expandedTo(dialog->minimumSize());
    if (fitted != dialog->size())
        dialog->resize(fitted);
    dialog->move(CentredOnScreen(ownerRect, dialog->size(), room));
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
