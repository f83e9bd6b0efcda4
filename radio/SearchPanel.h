#pragma once
#include <QWidget>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace varnelo {

// The search panel `pan_search`: by genre or by title, with Search, Reset and Return.
class SearchPanel : public QWidget {
    Q_OBJECT
public:
    explicit SearchPanel(QWidget *parent = nullptr);

    QComboBox *cb_search;
    QLineEdit *Search_genre;
    QPushButton *Button6; // Search
    QPushButton *Button7; // Reset
    QPushButton *Button8; // Return

Q_SIGNALS:
    // Enter released in the search text.
    void searchRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

} // namespace varnelo
