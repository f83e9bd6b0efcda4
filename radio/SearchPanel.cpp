#include "radio/SearchPanel.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace varnelo {
SearchPanel::SearchPanel(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("pan_search"));
    setAutoFillBackground(true);
    cb_search = new QComboBox(this);
    cb_search->setObjectName(QStringLiteral("cb_search"));
    cb_search->addItems({QStringLiteral("Search By Genre"), QStringLiteral("Search By Title")});
    cb_search->setCurrentIndex(0);
    Search_genre = new QLineEdit(this);
    Search_genre->setObjectName(QStringLiteral("Search_genre"));
    Search_genre->installEventFilter(this);
    Button6 = new QPushButton(QStringLiteral("Search"), this);
    Button6->setObjectName(QStringLiteral("Button6"));
    Button7 = new QPushButton(QStringLiteral("Reset"), this);
    Button7->setObjectName(QStringLiteral("Button7"));
    Button8 = new QPushButton(QStringLiteral("Return"), this);
    Button8->setObjectName(QStringLiteral("Button8"));

    directoryRow_ = new QWidget(this);
    cb_tag = new QComboBox(directoryRow_);
    cb_tag->setObjectName(QStringLiteral("cb_tag"));
    cb_tag->setEditable(true);
    cb_tag->setInsertPolicy(QComboBox::NoInsert);
    cb_tag->lineEdit()->setPlaceholderText(QStringLiteral("any tag"));
    cb_tag->setToolTip(QStringLiteral("Only stations with this tag"));
    cb_country = new QComboBox(directoryRow_);
    cb_country->setObjectName(QStringLiteral("cb_country"));
    cb_country->addItem(QStringLiteral("Any country"));
    cb_country->setToolTip(QStringLiteral("Only stations of this country"));
    // The lists show the long names; the boxes share the row.
    cb_country->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cb_country->setMinimumContentsLength(9);
    btn_diradd = new QPushButton(QStringLiteral("Add radio"), directoryRow_);
    btn_diradd->setObjectName(QStringLiteral("btn_diradd"));
    btn_diradd->setToolTip(QStringLiteral("Add the chosen station to Radio Stations"));

    // Two rows, so that the search text has room beside the scope; the
    // directory's tag, country and "Add radio" between them.
    auto *rows = new QVBoxLayout(this);
    rows->setContentsMargins(6, 4, 6, 4);
    rows->setSpacing(4);
    auto *query = new QHBoxLayout;
    query->addWidget(cb_search);
    query->addWidget(Search_genre, 1);
    auto *directory = new QHBoxLayout(directoryRow_);
    directory->setContentsMargins(0, 0, 0, 0);
    directory->addWidget(cb_tag, 1);
    directory->addWidget(cb_country, 1);
    directory->addWidget(btn_diradd);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button6);
    buttons->addWidget(Button7);
    buttons->addWidget(Button8);
    rows->addLayout(query);
    rows->addWidget(directoryRow_);
    rows->addLayout(buttons);
    connect(Button6, &QPushButton::clicked, this, &SearchPanel::searchRequested);
    connect(Button8, &QPushButton::clicked, this, &QWidget::hide);
    connect(btn_diradd, &QPushButton::clicked, this, &SearchPanel::addRequested);
    connect(cb_search, &QComboBox::currentIndexChanged, this, [this] { updateScope(); });
    cb_tag->lineEdit()->installEventFilter(this);
    setScopeAvailable(true);
    hide();
}

bool SearchPanel::directoryScope() const {
    return cb_search->currentIndex() == DirectoryIndex;
}

void SearchPanel::setDirectoryScope(bool directory) {
    if (directory && cb_search->count() > DirectoryIndex)
        cb_search->setCurrentIndex(DirectoryIndex);
    else if (!directory && directoryScope())
        cb_search->setCurrentIndex(0);
}

void SearchPanel::setScopeAvailable(bool available) {
    if (available && cb_search->count() <= DirectoryIndex)
        cb_search->addItem(QStringLiteral("Search Directory"));
    else if (!available && cb_search->count() > DirectoryIndex) {
        if (directoryScope())
            cb_search->setCurrentIndex(0);
        cb_search->removeItem(DirectoryIndex);
    }
    updateScope();
}

void SearchPanel::updateScope() {
    const bool directory = directoryScope();
    directoryRow_->setVisible(directory);
    Search_genre->setPlaceholderText(directory ? QStringLiteral("station name") : QString());
    if (directory != wasDirectory_) {
        wasDirectory_ = directory;
        Q_EMIT scopeChanged(directory);
    }
}

QString SearchPanel::tag() const {
    return cb_tag->currentText().trimmed();
}

QString SearchPanel::countryCode() const {
    return cb_country->currentData().toString();
}

void SearchPanel::setTags(const QStringList &tags) {
    const QString typed = cb_tag->currentText();
    cb_tag->clear();
    cb_tag->addItem(QString());
    cb_tag->addItems(tags);
    cb_tag->setEditText(typed);
}

void SearchPanel::setCountries(const QList<QPair<QString, QString>> &countries) {
    const QString chosen = countryCode();
    cb_country->clear();
    cb_country->addItem(QStringLiteral("Any country"));
    for (const auto &[name, code] : countries)
        cb_country->addItem(QStringLiteral("%1 (%2)").arg(name, code), code);
    const int index = cb_country->findData(chosen);
    cb_country->setCurrentIndex(index < 0 ? 0 : index);
}

bool SearchPanel::eventFilter(QObject *watched, QEvent *event) {
    if ((watched == Search_genre || watched == cb_tag->lineEdit()) && event->type() == QEvent::KeyRelease) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            Q_EMIT searchRequested();
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace varnelo
