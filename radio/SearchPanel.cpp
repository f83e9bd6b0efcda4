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
    // Two rows, so that the search text has room beside the scope.
    auto *rows = new QVBoxLayout(this);
    rows->setContentsMargins(6, 4, 6, 4);
    rows->setSpacing(4);
    auto *query = new QHBoxLayout;
    query->addWidget(cb_search);
    query->addWidget(Search_genre, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button6);
    buttons->addWidget(Button7);
    buttons->addWidget(Button8);
    rows->addLayout(query);
    rows->addLayout(buttons);
    connect(Button6, &QPushButton::clicked, this, &SearchPanel::searchRequested);
    connect(Button8, &QPushButton::clicked, this, &QWidget::hide);
    hide();
}

bool SearchPanel::eventFilter(QObject *watched, QEvent *event) {
    if (watched == Search_genre && event->type() == QEvent::KeyRelease) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            Q_EMIT searchRequested();
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace varnelo
