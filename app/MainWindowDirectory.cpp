#include "app/MainWindow.h"

#include "app/Application.h"
#include "app/SkinLook.h"
#include "common/Seams.h"
#include "common/SettingsKeys.h"
#include "platform/shell/DnsMirrorLookup.h"
#include "radio/DirectoryClient.h"
#include "radio/DirectorySearch.h"
#include "radio/SearchPanel.h"
#include "radio/StationCatalogue.h"
#include "radio/StreamPlayer.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>
#include <QTreeView>

namespace varnelo {

// The station directory on the radio page: the search panel's "Directory"
// scope, its rows in the station list, and what the empty list says.

namespace {

// Calls `f` on the events a widget gets that change where or whether it shows.
class Watcher : public QObject {
public:
    Watcher(QObject *watched, std::function<void(QEvent::Type)> f) : QObject(watched), f_(std::move(f)) {
        setObjectName(QStringLiteral("directoryWatcher"));
        watched->installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *event) override {
        const QEvent::Type t = event->type();
        if (t == QEvent::Show || t == QEvent::Hide || t == QEvent::Resize)
            f_(t);
        return false;
    }

private:
    std::function<void(QEvent::Type)> f_;
};

QString firstRunHint() {
    return QStringLiteral("<p><b>No radio stations yet.</b></p>"
                          "<p>Find stations in the community station directory: <a href=\"directory\" "
                          "style=\"color: #9d9dff;\">search the directory</a> "
                          "(the search button, then \"Search Directory\").</p>"
                          "<p>Or add a stream address you know with \"Add URL\" (the + button).</p>");
}

} // namespace

void MainWindow::buildDirectory() {
    mirrorLookup_ = std::make_unique<DnsMirrorLookup>();
    directoryClient_ = std::make_unique<DirectoryClient>(*mirrorLookup_);
    directorySearch_ = std::make_unique<DirectorySearch>(*catalogue_, *directoryClient_, prompts_);
    DirectorySearch *search = directorySearch_.get();
    player_->connectStarted = [search](const QString &address) { search->StationStarted(address); };

    connect(pan_search, &SearchPanel::searchRequested, this, [this] {
        if (shown_.radio() && pan_search->directoryScope())
            Application::guarded([this] { SearchDirectory(); });
    });
    connect(pan_search, &SearchPanel::scopeChanged, this, [this, search](bool directory) {
        placeViews();
        if (directory && applyDirectoryServer(false))
            search->LoadChoices();
    });
    new Watcher(pan_search, [this](QEvent::Type t) {
        if (t != QEvent::Resize)
            placeViews();
    });
    connect(pan_search, &SearchPanel::addRequested, this, [this, search] {
        Application::guarded([this, search] { search->AddDirectoryStation(catalogue_->selectedRow()); });
    });
    connect(search, &DirectorySearch::tagsLoaded, pan_search, &SearchPanel::setTags);
    connect(search, &DirectorySearch::countriesLoaded, pan_search, &SearchPanel::setCountries);
    connect(search, &DirectorySearch::status, this, [this](const QString &text) {
        lab_state->setText(text);
        panel_state->show();
        QTimer::singleShot(8000, lab_state, [this, text] {
            if (player_->connecting() || lab_state->text() != text)
                return; // the strip shows something newer
            if (player_->stationPlaying())
                player_->showNowPlaying();
            else
                panel_state->hide();
        });
    });

    // The list's popup adds the pressed directory station; it shows only on directory rows.
    auto *AddRadio1 = new QAction(QStringLiteral("Add radio"), p_lv);
    AddRadio1->setObjectName(QStringLiteral("AddRadio1"));
    p_lv->insertAction(findChild<QAction *>(QStringLiteral("N4")), AddRadio1);
    AddRadio1->setVisible(false);
    connect(p_lv, &QMenu::aboutToShow, this, [this, search, AddRadio1] {
        AddRadio1->setVisible(search->isDirectoryRow(catalogue_->lists.currentRow));
    });
    connect(AddRadio1, &QAction::triggered, this, [this, search] {
        Application::guarded([this, search] { search->AddDirectoryStation(catalogue_->lists.currentRow); });
    });

    // More on scroll: the next page when the list is scrolled to its end.
    connect(LV->verticalScrollBar(), &QScrollBar::valueChanged, this, [this, search](int value) {
        if (value >= LV->verticalScrollBar()->maximum() && search->hasMore())
            search->MoreResults();
    });

    // The scope row is the radio page's; the panel's height follows it.
    new Watcher(LV, [this](QEvent::Type t) {
        if (t == QEvent::Resize)
            return;
        pan_search->setScopeAvailable(!LV->isHidden());
        placeViews();
        updateListHint();
    });

    lab_hint = MakeListHint(LV, "lab_hint");
    connect(lab_hint, &QLabel::linkActivated, this, [this] { OpenDirectorySearch(); });
    new Watcher(LV->viewport(), [this](QEvent::Type t) {
        if (t == QEvent::Resize)
            lab_hint->setGeometry(LV->viewport()->rect().adjusted(16, 16, -16, -16));
    });
    QStandardItemModel *model = &catalogue_->LV;
    connect(model, &QAbstractItemModel::rowsInserted, this, &MainWindow::updateListHint);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &MainWindow::updateListHint);
    connect(model, &QAbstractItemModel::modelReset, this, &MainWindow::updateListHint);
    connect(search, &DirectorySearch::rowsChanged, this, &MainWindow::updateListHint);
    connect(this, &MainWindow::startupFinished, this, &MainWindow::updateListHint);
}

void MainWindow::releaseDirectory() {
    // Destroying the window hides and resizes its views after its members are
    // gone: nothing of the directory may answer that.
    for (QObject *watcher : findChildren<QObject *>(QStringLiteral("directoryWatcher")))
        delete watcher;
    lab_hint = nullptr;
    LV->verticalScrollBar()->disconnect(this);
    catalogue_->LV.disconnect(this);
    player_->connectStarted = nullptr;
}

bool MainWindow::applyDirectoryServer(bool complain) {
    const QString server = keys::read(settings, keys::DirectoryServer, QString()).trimmed();
    if (server == directoryServer_)
        return true;
    if (!directoryClient_->setServer(server)) {
        if (complain)
            prompts_.message(
                QStringLiteral("The station directory server \"%1\" set in section \"directory\", key "
                               "\"server\" of the settings is not an http or https address.")
                    .arg(server),
                dialogCaption(), PromptIcon::Warning, PromptButtons::Ok);
        return false;
    }
    directoryServer_ = server;
    return true;
}

void MainWindow::SearchDirectory() {
    if (!applyDirectoryServer(true))
        return;
    directorySearch_->SearchDirectory(pan_search->Search_genre->text(), pan_search->tag(),
                                      pan_search->countryCode());
}

void MainWindow::OpenDirectorySearch() {
    if (!shown_.radio())
        return;
    pan_search->setDirectoryScope(true);
    pan_search->show();
    pan_search->raise();
    pan_search->Search_genre->setFocus();
}

void MainWindow::updateListHint() {
    if (!lab_hint)
        return;
    QString text;
    if (catalogue_->LV.rowCount() == 0) {
        if (directorySearch_->showsList())
            text = directorySearch_->emptyListText().toHtmlEscaped();
        else if (catalogue_->CatalogueEmpty())
            text = firstRunHint();
    }
    lab_hint->setText(text);
    lab_hint->setGeometry(LV->viewport()->rect().adjusted(16, 16, -16, -16));
    lab_hint->setVisible(!text.isEmpty());
}

} // namespace varnelo
