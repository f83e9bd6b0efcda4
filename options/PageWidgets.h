#pragma once
// The control makers shared by the options dialog's page files.
#include <QStringList>
#include <initializer_list>
#include <span>

class QCheckBox;
class QComboBox;
class QLabel;
class QSpinBox;
class QTimeEdit;

namespace varnelo::optionspages {

inline QString s(const char *text) {
    return QString::fromLatin1(text);
}

template <class W> W *named(W *widget, const char *name) {
    widget->setObjectName(s(name));
    return widget;
}

QStringList list(std::initializer_list<const char *> items);
QComboBox *combo(const char *name, const QStringList &items, int index);
QCheckBox *check(const char *name, const char *text, bool checked = false);
// An edit with an up-down: the spin box carries the up-down's name, its edit
// the edit's name.
QSpinBox *upDown(const char *name, const char *editName, int min, int max, int value, bool readOnlyEdit);
QTimeEdit *timePicker(const char *name);
QLabel *label(const char *text);
QStringList hzItems(std::span<const int> rates);
QStringList monoStereo();

} // namespace varnelo::optionspages
