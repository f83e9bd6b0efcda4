#pragma once
#include <QWidget>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace varnelo {

// The search panel `pan_search`: by genre or by title, with Search, Reset and
// Return. On the radio page `cb_search` offers a third scope, the community
// station directory: the text searches names, a row of its own holds a tag and
// a country that narrow it and "Add radio" for the chosen station.
class SearchPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int DirectoryIndex = 2; // of cb_search

    explicit SearchPanel(QWidget *parent = nullptr);

    QComboBox *cb_search;
    QLineEdit *Search_genre;
    QPushButton *Button6; // Search
    QPushButton *Button7; // Reset
    QPushButton *Button8; // Return

    QComboBox *cb_tag;       // editable; empty for any tag
    QComboBox *cb_country;   // "Any country", then "Name (CC)" with the code as item data
    QPushButton *btn_diradd; // Add radio

    bool directoryScope() const;
    void setDirectoryScope(bool directory);
    // The directory is a choice on the radio page only.
    void setScopeAvailable(bool available);

    QString tag() const;
    QString countryCode() const;
    void setTags(const QStringList &tags);
    // Pairs of name and code.
    void setCountries(const QList<QPair<QString, QString>> &countries);

Q_SIGNALS:
    // Enter released in the search text.
    void searchRequested();
    void scopeChanged(bool directory);
    void addRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void updateScope();
    QWidget *directoryRow_;
    bool wasDirectory_ = false;
};

} // namespace varnelo
