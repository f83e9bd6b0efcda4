#pragma once
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStringList>
#include <QTreeView>

namespace varnelo::test {

// The texts under `root` that do not show whole: every visible label, button,
// check box, combo box and filled line edit, and every visible column of a
// list (its header and its rows' texts), each named with its widget; empty when
// every text shows whole.
inline QString cutTexts(QWidget *root) {
    QCoreApplication::processEvents(); // lists refit their columns after a change
    QStringList cut;
    const auto report = [&cut](const QWidget *w, const QString &text) {
        cut << QStringLiteral("%1: \"%2\"")
                   .arg(w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                                  : w->objectName(),
                        text);
    };
    for (QWidget *w : root->findChildren<QWidget *>()) {
        if (!w->isVisibleTo(root) || w->width() <= 0)
            continue;
        if (auto *label = qobject_cast<QLabel *>(w)) {
            if (!label->wordWrap() && !label->text().isEmpty() && label->pixmap().isNull() &&
                label->fontMetrics().horizontalAdvance(label->text()) > label->contentsRect().width())
                report(label, label->text());
        } else if (qobject_cast<QCheckBox *>(w) || qobject_cast<QRadioButton *>(w)) {
            auto *box = static_cast<QAbstractButton *>(w); // the text beside the indicator
            if (!box->text().isEmpty() && box->width() < box->sizeHint().width())
                report(box, box->text());
        } else if (auto *button = qobject_cast<QAbstractButton *>(w)) {
            const QString text = QString(button->text()).remove(QLatin1Char('&'));
            if (!text.isEmpty() && button->fontMetrics().horizontalAdvance(text) + 8 > button->width())
                report(button, text);
        } else if (auto *combo = qobject_cast<QComboBox *>(w)) {
            if (combo->width() < combo->sizeHint().width())
                report(combo, combo->currentText());
        } else if (auto *edit = qobject_cast<QLineEdit *>(w)) {
            const int room = edit->contentsRect().width() - 8; // frame and text margins
            if (!edit->text().isEmpty() && edit->fontMetrics().horizontalAdvance(edit->text()) > room)
                report(edit, edit->text());
        } else if (auto *view = qobject_cast<QTreeView *>(w)) {
            QAbstractItemModel *model = view->model();
            if (!model)
                continue;
            // A list whose columns fill its width cuts long texts by design (with "…",
            // whole in the tip); one with room to spare must not cut any.
            int used = 0;
            for (int column = 0; column < model->columnCount(); ++column)
                used += view->isColumnHidden(column) ? 0 : view->header()->sectionSize(column);
            if (used >= view->viewport()->width() - 2)
                continue;
            for (int column = 0; column < model->columnCount(); ++column) {
                if (view->isColumnHidden(column))
                    continue;
                if (!view->isHeaderHidden() &&
                    view->header()->sectionSize(column) < view->header()->sectionSizeHint(column))
                    report(view, model->headerData(column, Qt::Horizontal).toString());
                for (int row = 0; row < std::min(model->rowCount(), 200); ++row) {
                    const QModelIndex index = model->index(row, column);
                    const QString text = index.data().toString();
                    const QRect cell = view->visualRect(index);
                    if (!text.isEmpty() && cell.isValid() &&
                        view->fontMetrics().horizontalAdvance(text) + 8 > cell.width())
                        report(view, text);
                }
            }
        }
    }
    return cut.join(QStringLiteral("; "));
}

} // namespace varnelo::test
