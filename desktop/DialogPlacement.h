#pragma once
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace varnelo {

// The centred-dialog rule: the owner's left and top plus half the difference of
// the sizes, each division truncated toward zero.
QPoint CentredPosition(const QRect &owner, const QSize &dialog);
// Moves `dialog` centred over `owner` (a dialog not laid out yet is sized first).
void CentreOver(QWidget *dialog, const QWidget *owner);
// Centres `dialog` over `owner` and shows it without blocking.
void ShowCentred(QWidget *dialog, const QWidget *owner);

} // namespace varnelo
