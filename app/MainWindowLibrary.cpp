#include "app/MainWindow.h"

#include "app/Application.h"
#include "app/PlayingRowDelegate.h"
#include "app/SkinLook.h"
#include "app/SkinSurface.h"
#include "common/SettingsKeys.h"
#include "convert/Converter.h"
#include "convert/EncoderSetup.h"
#include "desktop/DialogPlacement.h"
#include "library/LibraryCatalogue.h"
#include "library/LibraryEntries.h"
#include "library/LocalPlayer.h"
#include "library/TagEditor.h"
#include "library/TrackCover.h"
#include "options/OptionsDialog.h"
#include "platform/audiofile/AudioFile2LameEnc.h"
#include "platform/sound/AudioPlayer.h"
#include "radio/RecordingsList.h"
#include "radio/StationCatalogue.h"
#include "radio/StreamPlayer.h"

#include <QLabel>
#include <QMenu>
#include <QStandardPaths>
#include <QTreeView>
#include <QUrl>

namespace varnelo {

// The local page: the library views and menus, local playback, the tag editor
// and the converter.

void MainWindow::updateLibraryHint() {
    if (!lab_libhint)
        return;
    lab_libhint->setGeometry(lv2->viewport()->rect().adjusted(16, 16, -16, -16));
    lab_libhint->setVisible(library_->rowCount() == 0 && entries_->libraryNearlyEmpty());
}

void MainWindow::bindLibrary() {
    const auto guardedSlot = [this](QAction *action, void (LibraryEntries::*operation)()) {
        connect(action, &QAction::triggered, this, [this, operation] {
            Application::guarded([this, operation] { (entries_.get()->*operation)(); });
        });
    };
    entries_->setSettings(&settings);
    library_->setStationFavoritesEntry(catalogue_->DelformFavorites1);
    openCommandLineFile = [this](const QString &path) { entries_->OpenCommandLineFile(path); };

    lv2->setModel(&library_->lv2);
    lv2->setSelectionModel(&library_->lv2Selection);
    for (int column = 0; column < LibraryCatalogue::PathColumn; ++column)
        lv2->setColumnWidth(column, LibraryCatalogue::ColumnWidths[column]);
    lv2->setColumnHidden(LibraryCatalogue::PathColumn, true);
    lab_libhint = MakeListHint(lv2, "lab_libhint");
    lab_libhint->setText(QStringLiteral(
        "<p><b>No music yet.</b></p><p><a href=\"scan\" style=\"color: #9d9dff;\">Choose a folder</a> to add "
        "its audio files (sub-folders included), or add files with the + button.</p>"));
    connect(lab_libhint, &QLabel::linkActivated, this, [this] {
        Application::guarded([this] { entries_->ScanFolder(); });
        library_->ShowLibraryNode();
        updateLibraryHint();
    });
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(&library_->lv2, signal, this, &MainWindow::updateLibraryHint);
    connect(&library_->lv2, &QAbstractItemModel::modelReset, this, &MainWindow::updateLibraryHint);
    tv2->setDragDropMode(QAbstractItemView::NoDragDrop);
    connect(tv2, &QTreeView::clicked, this,
            [this] { Application::guarded([this] { library_->ShowLibraryNode(); }); });
    connect(lv2, &QTreeView::clicked, this,
            [this] { Application::guarded([this] { library_->lv2Click(); }); });
    connect(lv2, &QTreeView::pressed, this,
            [this] { Application::guarded([this] { library_->lv2MouseDown(Qt::LeftButton); }); });

    p_tv2 = new QMenu(this);
    p_tv2->setObjectName(QStringLiteral("p_tv2"));
    p_tv2->addAction(library_->del);
    guardedSlot(library_->del, &LibraryEntries::DeleteEntries);
    tv2->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tv2, &QTreeView::customContextMenuRequested, this, [this](const QPoint &pos) {
        Application::guarded([&] { library_->tv2MouseDown(Qt::RightButton, tv2->indexAt(pos)); });
        library_->tv2ContextPopup();
        p_tv2->popup(tv2->viewport()->mapToGlobal(pos));
    });

    P_lv2 = new QMenu(this);
    P_lv2->setObjectName(QStringLiteral("P_lv2"));
    for (QAction *a : {entries_->Addfile2, entries_->Add1, entries_->Del1, entries_->Clearall1})
        P_lv2->addAction(a);
    guardedSlot(entries_->Addfile2, &LibraryEntries::AddFiles);
    guardedSlot(entries_->Add1, &LibraryEntries::AddToLibraryFavorites);
    guardedSlot(entries_->Del1, &LibraryEntries::DeleteEntries);
    guardedSlot(entries_->Clearall1, &LibraryEntries::ClearAll);
    lv2->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lv2, &QTreeView::customContextMenuRequested, this, [this](const QPoint &pos) {
        const QModelIndex index = lv2->indexAt(pos);
        if (index.isValid())
            library_->selectRow(index.row());
        Application::guarded([this] { library_->lv2MouseDown(Qt::RightButton); });
        P_lv2->popup(lv2->viewport()->mapToGlobal(pos));
    });
}

void MainWindow::ShowPlayingCover() {
    const Player *current = playback_.current();
    const NowPlaying now = current && current->loaded() ? current->nowPlaying() : NowPlaying{};
    if (now.kind != MediaKind::File) {
        coverSource_.clear();
        coverImage_ = {};
    } else if (now.source != coverSource_) {
        // Read once per track: the tags, or a picture beside it.
        coverSource_ = now.source;
        const TrackCover cover = findTrackCover(now.source);
        QPixmap image;
        image.loadFromData(cover.image.data);
        const qreal dpr = devicePixelRatioF();
        coverImage_ = image.isNull() ? QPixmap()
                                     : image.scaled(lab_cover->size() * dpr, Qt::KeepAspectRatio,
                                                    Qt::SmoothTransformation);
        coverImage_.setDevicePixelRatio(dpr);
        QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (folder.isEmpty())
            folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
        const QString file = coverFileOf(cover, folder + QStringLiteral("/varnelo-strip-cover"));
        lab_cover->setToolTip(file.isEmpty()
                                  ? QString()
                                  : QStringLiteral("<img src=\"%1\" width=\"240\">")
                                        .arg(QUrl::fromLocalFile(file).toString().toHtmlEscaped()));
    }
    lab_cover->setPixmap(coverImage_);
    const bool show = !coverImage_.isNull() && !shown_.radio() && !shown_.rip();
    if (show != lab_cover->isVisible()) {
        lab_cover->setVisible(show);
        placeViews(); // the strip makes room
    }
}

void MainWindow::bindPlayback() {
    AudioPlayer_ = std::make_unique<AudioPlayer>(*sound_);
    localPlayer_ = new LocalPlayer(shown_, *library_, *AudioFile_, *AudioPlayer_, this);
    playback_.add(*localPlayer_);
    library_->playback = &playback_;
    LocalPlayer &local = *localPlayer_;
    local.setLabtime = [this](const QString &text) { surface_->SetLabtime(text); };
    local.setBar = [this](int value) { surface_->SetBar(value); };
    local.bar = [this] { return surface_->BarValue(); };
    local.setOutputVolume = [this](int percent) { player_->setVolume(percent); };
    local.deleteEntries = [this] { entries_->DeleteEntries(); };
    local.reportError = [](const QString &message) { Application::showUnhandled(message); };
    local.conversionRunning = [this] { return converting(); };
    local.replayGainMode = [this] { return options_ ? options_->playbackGain() : 0; };
    recordingsList_->playingRow = [this] {
        return localPlayer_->highlightedRow(LocalPlayer::List::Recordings);
    };
    connect(&playback_, &PlaybackCoordinator::nowPlayingChanged, this, &MainWindow::ShowPlayingCover);
    connect(&playback_, &PlaybackCoordinator::stateChanged, this, &MainWindow::ShowPlayingCover);
    if (auto *recordings = qobject_cast<QStandardItemModel *>(LV_R->model()))
        local.setRecordingsList(recordings, LV_R->selectionModel());

    entries_->playRow = [this](int row) { localPlayer_->PlayRow(row); };
    entries_->stopPlayback = [this] { playback_.stop(); };
    const auto guardedCall = [this](void (LocalPlayer::*operation)()) {
        return
            [this, operation] { Application::guarded([this, operation] { (localPlayer_->*operation)(); }); };
    };
    surface_->beginSeek = guardedCall(&LocalPlayer::BeginSeek);
    surface_->endSeek = guardedCall(&LocalPlayer::EndSeek);
    connect(lv2, &QTreeView::doubleClicked, this, guardedCall(&LocalPlayer::lv2DblClick));
    connect(LV_R, &QTreeView::doubleClicked, this, guardedCall(&LocalPlayer::LV_RDblClick));

    lv2->setItemDelegate(new PlayingRowDelegate(
        [this] { return localPlayer_->highlightedRow(LocalPlayer::List::Library); }, lv2));
    LV_R->setItemDelegate(new PlayingRowDelegate(
        [this] { return localPlayer_->highlightedRow(LocalPlayer::List::Recordings); }, LV_R));
    connect(localPlayer_, &LocalPlayer::highlightChanged, this, [this] {
        lv2->viewport()->update();
        LV_R->viewport()->update();
    });

    // P_lv2: Play1, Stop2, Converter1 before the entries' items, ID3Info2 last.
    QAction *first = P_lv2->actions().value(0);
    auto *Play1 = new QAction(QStringLiteral("Play/Pause"), P_lv2);
    Play1->setObjectName(QStringLiteral("Play1"));
    auto *Stop2 = new QAction(QStringLiteral("Stop"), P_lv2);
    Stop2->setObjectName(QStringLiteral("Stop2"));
    connect(Play1, &QAction::triggered, this, guardedCall(&LocalPlayer::PlayPause));
    connect(Stop2, &QAction::triggered, this, guardedCall(&LocalPlayer::StopPlayback));
    P_lv2->insertAction(first, Play1);
    P_lv2->insertAction(first, Stop2);
    Converter1_ = new QMenu(QStringLiteral("Converter "), P_lv2);
    Converter1_->setObjectName(QStringLiteral("Converter1"));
    P_lv2->insertMenu(first, Converter1_);
    auto *ID3Info2 = P_lv2->addAction(QStringLiteral("ID3 Info"));
    ID3Info2->setObjectName(QStringLiteral("ID3Info2"));
    connect(ID3Info2, &QAction::triggered, this, &MainWindow::showTagEditor);
}

void MainWindow::bindConverter() {
    Mp3LameEncoder_ = std::make_unique<AudioFile2LameEnc>();
    encoderSetup_ = std::make_unique<EncoderSetup>(*options_);
    converter_ = new Converter([this] { return library_->lists.currentRow; }, library_->lv2,
                               library_->lv2Selection, *AudioFile_, *AudioFilew_, *Mp3LameEncoder_,
                               *encoderSetup_, tagEditor_->AudioInformation1, prompts_, shell_, this, this);
    converter_->playback = &playback_;
    placeViews();
    converter_->outputFolder = [this] { return readOutputFolder(settings); };
    converter_->openFolderWhenDone = [this] { return options_->openFolderWhenDone(); };
    converter_->stopPlayback = [this] { localPlayer_->StopPlayback(); };
    for (QAction *a : {converter_->omp3, converter_->owav, converter_->owma, converter_->OGG,
                       converter_->oflac, converter_->oopus})
        Converter1_->addAction(a);
}

void MainWindow::showTagEditor() {
    Application::guarded([this] {
        const int row = library_->selectedRow();
        if (!tagEditor_ || library_->rowCount() == 0 || row < 0)
            return;
        tagEditor_->Open(library_->trackRow(row).Path);
        CentreOver(tagEditor_, this); // at the size its texts gave it
    });
}

} // namespace varnelo
