#include "radio/SearchPanel.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSpacerItem>
#include <QVBoxLayout>

namespace varnelo {
namespace {
constexpr int RowHeight = 32;
}

SearchPanel::SearchPanel(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("pan_search"));
    setAutoFillBackground(true);
    setAttribute(Qt::WA_StyledBackground); // the window's style sheet paints it
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

    directoryWidgets_ = new QWidget(this);
    cb_tag = new QComboBox(directoryWidgets_);
    cb_tag->setObjectName(QStringLiteral("cb_tag"));
    cb_tag->setEditable(true);
    cb_tag->setInsertPolicy(QComboBox::NoInsert);
    cb_tag->lineEdit()->setPlaceholderText(QStringLiteral("any tag"));
    cb_tag->setToolTip(QStringLiteral("Only stations with this tag"));
    cb_country = new QComboBox(directoryWidgets_);
    cb_country->setObjectName(QStringLiteral("cb_country"));
    cb_country->addItem(QStringLiteral("Any country"));
    cb_country->setToolTip(QStringLiteral("Only stations of this country"));
    btn_diradd = new QPushButton(QStringLiteral("Add radio"), directoryWidgets_);
    btn_diradd->setObjectName(QStringLiteral("btn_diradd"));
    btn_diradd->setToolTip(QStringLiteral("Add the chosen station to Radio Stations"));
    // Sized for "Any country" and a short tag; the lists show the long names.
    for (QComboBox *box : {cb_tag, cb_country})
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cb_tag->setMinimumContentsLength(4);
    cb_country->setMinimumContentsLength(9);

    firstRow_ = new QHBoxLayout;
    firstRow_->addWidget(cb_search);
    firstRow_->addWidget(Search_genre, 1);
    firstRow_->addWidget(Button6);
    firstRow_->addWidget(Button7);
    firstRow_->addWidget(Button8);
    directoryRow_ = new QHBoxLayout(directoryWidgets_);
    directoryRow_->setContentsMargins(0, 0, 0, 0);
    directoryRow_->addWidget(cb_tag);
    directoryRow_->addWidget(cb_country);
    directoryRow_->addWidget(btn_diradd);
    auto *rows = new QVBoxLayout(this);
    rows->setContentsMargins(6, 4, 6, 4);
    rows->setSpacing(4);
    rows->addLayout(firstRow_);
    rows->addWidget(directoryWidgets_);

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
    directoryWidgets_->setVisible(directory);
    // The name to search moves to the directory's row, where there is room for it.
    if (directory && !spacer_) {
        firstRow_->removeWidget(Search_genre);
        directoryRow_->insertWidget(0, Search_genre, 1);
        Search_genre->setMinimumWidth(90);
        spacer_ = new QSpacerItem(0, 0, QSizePolicy::Expanding, QSizePolicy::Minimum);
        firstRow_->insertItem(1, spacer_);
    } else if (!directory && spacer_) {
        firstRow_->removeItem(spacer_);
        delete spacer_;
        spacer_ = nullptr;
        directoryRow_->removeWidget(Search_genre);
        firstRow_->insertWidget(1, Search_genre, 1);
        Search_genre->setMinimumWidth(0);
    }
    Search_genre->setPlaceholderText(directory ? QStringLiteral("station name") : QString());
    if (directory != wasDirectory_) {
        wasDirectory_ = directory;
        Q_EMIT scopeChanged(directory);
    }
}

int SearchPanel::preferredHeight() const {
    return 8 + RowHeight + (directoryScope() ? 4 + RowHeight : 0);
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
