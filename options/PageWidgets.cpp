#include "options/PageWidgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTimeEdit>

namespace varnelo::optionspages {

QStringList list(std::initializer_list<const char *> items) {
    QStringList out;
    for (const char *i : items)
        out << s(i);
    return out;
}

QComboBox *combo(const char *name, const QStringList &items, int index) {
    auto *box = named(new QComboBox, name);
    box->addItems(items);
    box->setCurrentIndex(index);
    return box;
}

QCheckBox *check(const char *name, const char *text, bool checked) {
    auto *box = named(new QCheckBox(s(text)), name);
    box->setChecked(checked);
    return box;
}

QSpinBox *upDown(const char *name, const char *editName, int min, int max, int value, bool readOnlyEdit) {
    auto *spin = named(new QSpinBox, name);
    spin->setRange(min, max);
    spin->setValue(value);
    if (editName)
        spin->findChild<QLineEdit *>()->setObjectName(s(editName));
    if (readOnlyEdit)
        spin->findChild<QLineEdit *>()->setReadOnly(true);
    return spin;
}

QTimeEdit *timePicker(const char *name) {
    auto *edit = named(new QTimeEdit(QTime::currentTime()), name);
    edit->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    return edit;
}

QLabel *label(const char *text) {
    return new QLabel(s(text));
}

QStringList hzItems(std::span<const int> rates) {
    QStringList items;
    for (int r : rates)
        items << QStringLiteral("%1 Hz").arg(r);
    return items;
}

QStringList monoStereo() {
    return {QStringLiteral("Mono"), QStringLiteral("Stereo")};
}

} // namespace varnelo::optionspages
