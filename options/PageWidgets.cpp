#include "options/PageWidgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
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

namespace {

// A time field every section of which can be typed: entering a section
// (focus, click, Home/End/arrows) selects it so digits replace it, and the
// separator typed after a section filled itself (and moved on) is taken as
// already done instead of skipping the next section.
class TimeField : public QTimeEdit {
public:
    explicit TimeField(const QTime &time) : QTimeEdit(time) { lineEdit()->installEventFilter(this); }

protected:
    void focusInEvent(QFocusEvent *event) override {
        QTimeEdit::focusInEvent(event);
        selectCurrentSection();
    }
    // A click lands in the text: the press has placed the cursor in a section.
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (watched == lineEdit() && event->type() == QEvent::MouseButtonRelease)
            selectCurrentSection();
        return QTimeEdit::eventFilter(watched, event);
    }
    void keyPressEvent(QKeyEvent *event) override {
        const QString typed = event->text();
        const bool digit = typed.size() == 1 && typed.front().isDigit();
        if (typed == QLatin1String(":") && movedOn_) {
            movedOn_ = false;
            return;
        }
        const Section before = currentSection();
        QTimeEdit::keyPressEvent(event);
        // Shift pressed for the separator is no key of its own.
        const bool modifierOnly = event->key() == Qt::Key_Shift || event->key() == Qt::Key_Control ||
                                  event->key() == Qt::Key_Alt || event->key() == Qt::Key_Meta ||
                                  event->key() == Qt::Key_AltGr;
        if (!modifierOnly)
            movedOn_ = digit && currentSection() != before;
        switch (event->key()) {
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_Left:
        case Qt::Key_Right:
            selectCurrentSection();
            break;
        default:
            break;
        }
    }

private:
    void selectCurrentSection() { setSelectedSection(currentSection()); }
    bool movedOn_ = false;
};

} // namespace

QTimeEdit *timePicker(const char *name) {
    auto *edit = named(new TimeField(QTime::currentTime()), name);
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
