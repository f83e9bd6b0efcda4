// The options dialog's frame: the tree of pages, the page stack and the buttons.
#include "options/CodecPages.h"
#include "options/OptionsDialog.h"
#include "options/PageWidgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace varnelo {

using namespace optionspages;

void OptionsDialog::buildUi() {
    setObjectName(QStringLiteral("fm_setting"));
    setWindowTitle(QStringLiteral("Options"));

    ui_.set_lb = named(new QLabel, "set_lb");
    QFont titleFont = ui_.set_lb->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.2);
    ui_.set_lb->setFont(titleFont);

    ui_.TreeView1 = named(new QTreeWidget, "TreeView1");
    ui_.TreeView1->setHeaderHidden(true);
    ui_.TreeView1->setColumnCount(1);
    ui_.TreeView1->setFixedWidth(170);
    auto node = [this](QTreeWidgetItem *parent, const char *text) {
        auto *item =
            parent ? new QTreeWidgetItem(parent, {s(text)}) : new QTreeWidgetItem(ui_.TreeView1, {s(text)});
        nodes_.push_back(item);
        return item;
    };
    QTreeWidgetItem *more = node(nullptr, "More Set");
    node(more, "Record Set");
    node(more, "Ripper Set");
    QTreeWidgetItem *mp3 = node(nullptr, "MP3");
    for (const char *child : {"General", "VBR", "Filtering", "Expert", "Presets", "Command Line"})
        node(mp3, child);
    node(nullptr, "WAV");
    node(nullptr, "WMA");
    node(nullptr, "OGG");
    node(nullptr, "FLAC");
    node(nullptr, "Opus");
    ui_.TreeView1->expandAll();

    ui_.pages = named(new QStackedWidget, "pages");
    ui_.pages->addWidget(buildSchedulePage());
    ui_.pages->addWidget(buildRecordPage());
    ui_.pages->addWidget(buildRipperPage());
    ui_.pages->addWidget(buildMp3GeneralPage());
    ui_.pages->addWidget(buildMp3VbrPage());
    ui_.pages->addWidget(buildFilterPage());
    ui_.pages->addWidget(buildExpertPage());
    ui_.pages->addWidget(buildPresetsPage());
    ui_.pages->addWidget(buildCommandPage());
    ui_.pages->addWidget(buildWavPage());
    ui_.pages->addWidget(buildWmaPage());
    ui_.pages->addWidget(buildOggPage());
    codecs_ = std::make_unique<CodecPages>();
    ui_.pages->addWidget(codecs_->flacPage);
    ui_.pages->addWidget(codecs_->opusPage);

    ui_.Ok = named(new QPushButton(QStringLiteral("Ok")), "Ok");
    ui_.Button2 = named(new QPushButton(QStringLiteral("Default")), "Button2");
    ui_.Cancel = named(new QPushButton(QStringLiteral("Close")), "Cancel");
    ui_.Ok->setDefault(true);

    auto *left = new QVBoxLayout;
    left->addWidget(ui_.TreeView1, 1);
    auto *right = new QVBoxLayout;
    right->addWidget(ui_.set_lb);
    right->addWidget(ui_.pages, 1);
    auto *body = new QHBoxLayout;
    body->addLayout(left);
    body->addLayout(right, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ui_.Ok);
    buttons->addWidget(ui_.Button2);
    buttons->addWidget(ui_.Cancel);
    auto *top = new QVBoxLayout(this);
    top->addLayout(body, 1);
    top->addLayout(buttons);
    resize(720, 480);
    setMinimumSize(640, 440);
}

void OptionsDialog::installDigitsFilter(QObject *edit) {
    edit->installEventFilter(this);
    if (auto *line = qobject_cast<QLineEdit *>(edit); line && !line->validator())
        // Pasted text gets no key events; the validator keeps it to digits too.
        line->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), line));
}

} // namespace varnelo
