#include "options/RadioGroup.h"

#include <QGridLayout>
#include <QRadioButton>

namespace varnelo {

RadioGroup::RadioGroup(const QString &caption, const QStringList &items, int columns, QWidget *parent)
    : QGroupBox(caption, parent) {
    auto *grid = new QGridLayout(this);
    const int rows = (static_cast<int>(items.size()) + columns - 1) / columns;
    for (int i = 0; i < items.size(); ++i) {
        auto *button = new QRadioButton(items[i], this);
        group_.addButton(button, i);
        // Column-major, so that the items read down each column first.
        grid->addWidget(button, i % rows, i / rows);
    }
    connect(&group_, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on)
            Q_EMIT itemIndexChanged(id);
    });
}

int RadioGroup::itemIndex() const {
    return group_.checkedId();
}

void RadioGroup::setItemIndex(int index) {
    if (index == itemIndex())
        return;
    if (QAbstractButton *button = group_.button(index)) {
        button->setChecked(true);
        return;
    }
    // An exclusive group refuses to uncheck its last button; lift that briefly.
    group_.setExclusive(false);
    for (QAbstractButton *b : group_.buttons())
        b->setChecked(false);
    group_.setExclusive(true);
    Q_EMIT itemIndexChanged(-1);
}

} // namespace varnelo
