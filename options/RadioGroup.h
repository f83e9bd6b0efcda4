#pragma once
#include <QButtonGroup>
#include <QGroupBox>
#include <QStringList>

namespace varnelo {

// A captioned group of radio buttons laid out in columns, addressed by item
// index. Unlike plain exclusive buttons it can show no selection (index -1),
// which is what an index read from the settings file outside the list gives.
class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    RadioGroup(const QString &caption, const QStringList &items, int columns, QWidget *parent = nullptr);

    int itemIndex() const;
    // Checks item `index`; anything outside the items clears the selection.
    void setItemIndex(int index);
    int count() const { return static_cast<int>(group_.buttons().size()); }
    QAbstractButton *button(int index) const { return group_.button(index); }

Q_SIGNALS:
    // The selection changed, by the user or by setItemIndex.
    void itemIndexChanged(int index);

private:
    QButtonGroup group_;
};

} // namespace varnelo
