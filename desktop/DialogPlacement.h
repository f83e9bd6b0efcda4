#pragma once
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace varnelo {

// The centred-dialog rule: the owner's left and top plus half the difference of
// the sizes, each division truncated toward zero.
QPoint CentredPosition(const QRect &owner, const QSize &dialog);
// The same, moved inside `screen` (its top left kept in sight when it is larger).
QPoint CentredOnScreen(const QRect &owner, const QSize &dialog, const QRect &screen);
// Moves `dialog` centred over `owner` (a dialog not laid out yet is sized first),
// kept on the owner's screen: no larger than the screen's room allows (down to
// its least size) and inside it.
void CentreOver(QWidget *dialog, const QWidget *owner);
// Centres `dialog` over `owner` and shows it without blocking.
void ShowCentred(QWidget *dialog, const QWidget *owner);

} // namespace varnelo
