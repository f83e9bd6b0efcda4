#include "radio/StationPanel.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace varnelo {

StationPanel::StationPanel(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("panel_radio"));
    setAutoFillBackground(true);

    auto named = [this](auto *w, const char *name) {
        w->setObjectName(QLatin1String(name));
        return w;
    };
    Label1 = named(new QLabel(QStringLiteral("Enter URL to open here:  "), this), "Label1");
    Label2 = named(new QLabel(QStringLiteral("e.g. http://radio.example.org:8000/live.mp3"), this), "Label2");
    Label2->setEnabled(false);
    // The examples are hints, never values: an untouched field reads empty.
    url = named(new QLineEdit(this), "url");
    url->setPlaceholderText(QStringLiteral("http://radio.example.org:8000/live.mp3"));
    Lname = named(new QLabel(QStringLiteral("Name:"), this), "Lname");
    ename = named(new QLineEdit(this), "ename");
    Lgenre = named(new QLabel(QStringLiteral("Genre:"), this), "Lgenre");
    egenre = named(new QLineEdit(this), "egenre");
    Lurl = named(new QLabel(QStringLiteral("Home URL: "), this), "Lurl");
    eurl = named(new QLineEdit(this), "eurl");
    eurl->setPlaceholderText(QStringLiteral("For Example: http://www.example.org"));
    Lstatus = named(new QLabel(this), "Lstatus");
    Lstatus->setAlignment(Qt::AlignCenter);
    Lstatus->setWordWrap(true);
    Button13 = named(new QPushButton(QStringLiteral("Audition"), this), "Button13");
    Button14 = named(new QPushButton(QStringLiteral("Add radio"), this), "Button14");
    Button15 = named(new QPushButton(QStringLiteral("Close"), this), "Button15");

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(8, 8, 8, 8);
    grid->addWidget(Label1, 0, 0, 1, 2);
    grid->addWidget(Label2, 1, 0, 1, 2);
    grid->addWidget(url, 2, 0, 1, 2);
    grid->addWidget(Lname, 3, 0);
    grid->addWidget(ename, 3, 1);
    grid->addWidget(Lgenre, 4, 0);
    grid->addWidget(egenre, 4, 1);
    grid->addWidget(Lurl, 5, 0);
    grid->addWidget(eurl, 5, 1);
    grid->addWidget(Lstatus, 6, 0, 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button13);
    buttons->addWidget(Button14);
    buttons->addWidget(Button15);
    grid->addLayout(buttons, 7, 0, 1, 2);

    connect(Button15, &QPushButton::clicked, this, &QWidget::hide);
    hide();
}

} // namespace varnelo
