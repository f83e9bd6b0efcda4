#include "app/MainWindow.h"

#include "app/Application.h"
#include "app/PlayingRowDelegate.h"
#include "app/SkinSurface.h"
#include "app/TrayTip.h"
#include "common/Error.h"
#include "common/Seams.h"
#include "common/SettingsKeys.h"
#include "common/TreeText.h"
#include "convert/Converter.h"
#include "convert/EncoderSetup.h"
#include "library/LibraryCatalogue.h"
#include "library/LibraryEntries.h"
#include "library/LocalPlayer.h"
#include "library/TagEditor.h"
#include "options/OptionsDialog.h"
#include "platform/audiofile/AudioFile.h"
#include "platform/audiofile/AudioFile2LameEnc.h"
#include "platform/skin/Skin.h"
#include "platform/sound/AudioPlayer.h"
#include "platform/sound/SoundOutput.h"
#include "platform/stream/StreamLibrary.h"
#include "radio/DataFiles.h"
#include "radio/DirectorySearch.h"
#include "radio/RecordingsList.h"
#include "radio/SearchPanel.h"
#include "radio/StationCatalogue.h"
#include "radio/StationInfoWindow.h"
#include "radio/StationPanel.h"
#include "radio/StreamPlayer.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace varnelo {

// The radio page's and the shell menus' connections, kept apart from the
// window's life cycle in MainWindow.cpp.

void MainWindow::buildRadio() {
    StreamPlayerViews views;
    views.panel = panel_radio;
    views.panel_state = panel_state;
    views.lab_state = lab_state;
    views.BitBtn1 = BitBtn1;
    views.BitBtn2 = BitBtn2;
    views.setLabtime = [this](const QString &t) { surface_->SetLabtime(t); };
    views.barv = [this] { return surface_->BarvValue(); };
    views.setBarv = [this](int v) { surface_->SetBarv(v); };
    views.redrawList = [this] { LV->viewport()->update(); };
    // What the stream reports while another page is shown waits in the radio page's strip.
    views.setStripText = [this](const QString &text) {
        if (stripPage_ == Page::Radio)
            lab_state->setText(text);
        else
            strips_[int(Page::Radio)].text = text;
    };
    views.showStrip = [this](bool shown) {
        if (stripPage_ == Page::Radio)
            panel_state->setVisible(shown);
        else
            strips_[int(Page::Radio)].shown = shown;
    };
    player_ = new StreamPlayer(*catalogue_, *streams_, prompts_, shell_, clock_, views, this);
    playback_.add(*player_);
    catalogue_->playback = &playback_;
    surface_ = new SkinSurface(*this, this);
    // The tip follows what plays; a station's new title changes only the station player.
    connect(&playback_, &PlaybackCoordinator::nowPlayingChanged, this, &MainWindow::UpdateTrayTip);
    connect(&playback_, &PlaybackCoordinator::stateChanged, this, &MainWindow::UpdateTrayTip);

    LV->setItemDelegate(new PlayingRowDelegate(
        [this] { return player_->stationPlaying() ? catalogue_->lists.currentRow : -1; }, LV));
    connect(LV, &QTreeView::clicked, this, [this] { catalogue_->lists.stationListActive = true; });
    connect(LV, &QTreeView::pressed, this,
            [this] { Application::guarded([this] { catalogue_->LVMouseDown(Qt::LeftButton); }); });
    connect(LV, &QTreeView::doubleClicked, this, [this] {
        // A directory station is auditioned: played, not yet in the history.
        if (directorySearch_->isDirectoryRow(catalogue_->selectedRow()))
            Application::guarded([this] { player_->StartStation(); });
        else
            Application::guarded([this] { player_->LVDblClick(); });
    });
    connect(LV_R, &QTreeView::clicked, this, [this] { catalogue_->lists.stationListActive = false; });

    const auto action = [this](const char *name) { return findChild<QAction *>(QLatin1String(name)); };
    connect(action("N1"), &QAction::triggered, this,
            [this] { Application::guarded([this] { player_->PlayPauseStation(); }); });
    connect(action("Pause1"), &QAction::triggered, this,
            [this] { Application::guarded([this] { player_->StopRadioOrRecording(); }); });
    connect(catalogue_->audioInfo, &QAction::triggered, this, &MainWindow::ShowStationInfo);
    connect(action("N5"), &QAction::triggered, this, &MainWindow::ToggleRecordingsList);

    connect(panel_radio->Button13, &QPushButton::clicked, this,
            [this] { Application::guarded([this] { player_->AuditionStation(); }); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { player_->MuteVolume(); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { player_->UnmuteVolume(); });
    // The volume is stored once it rests, not at every step of a drag.
    volumeStore_ = new QTimer(this);
    volumeStore_->setSingleShot(true);
    volumeStore_->setInterval(500);
    connect(volumeStore_, &QTimer::timeout, this, &MainWindow::storeVolume);
    connect(player_, &StreamPlayer::volumeChanged, volumeStore_, qOverload<>(&QTimer::start));

    const auto search = [this] {
        Application::guarded([this] {
            const int by = pan_search->cb_search->currentIndex();
            if (shown_.radio() && pan_search->directoryScope())
                return; // the directory's search (MainWindowDirectory.cpp)
            if (shown_.radio())
                catalogue_->SearchStations(by, pan_search->Search_genre->text());
            else if (!shown_.rip())
                library_->SearchLibrary(pan_search->Search_genre->text(), by);
        });
    };
    connect(pan_search, &SearchPanel::searchRequested, this, search);
    buildShellMenus();
    connect(pan_search->Button7, &QPushButton::clicked, this, [this] {
        Application::guarded([this] {
            if (shown_.radio()) {
                if (catalogue_->ResetSearch())
                    tv->setFocus();
            } else if (!shown_.rip()) {
                library_->ResetLibrarySearch();
            }
        });
    });
}

void MainWindow::buildShellMenus() {
    const auto add = [this](QMenu *menu, const char *name, const QString &text) {
        QAction *a = menu->addAction(text);
        a->setObjectName(QLatin1String(name));
        return a;
    };
    p_1 = new QMenu(this);
    p_1->setObjectName(QStringLiteral("p_1"));
    connect(add(p_1, "Addfile1", QStringLiteral("Add file")), &QAction::triggered, this, [this] {
        if (!shown_.radio())
            Application::guarded([this] { entries_->AddFiles(); });
    });
    connect(add(p_1, "AddURL1", QStringLiteral("Add URL")), &QAction::triggered, panel_radio, &QWidget::show);
    connect(add(p_1, "Addfolder1", QStringLiteral("Rescan")), &QAction::triggered, this,
            [this] { Application::guarded([this] { entries_->ScanFolder(); }); });
    p_1->addSeparator();
    connect(add(p_1, "Exit1", QStringLiteral("Exit")), &QAction::triggered, this, &QWidget::close);

    p_lvcd = new QMenu(this);
    p_lvcd->setObjectName(QStringLiteral("p_lvcd")); // filled by the CD ripper (bindCd)

    p_set = new QMenu(this);
    p_set->setObjectName(QStringLiteral("p_set"));
    connect(add(p_set, "SET1", QStringLiteral("Options")), &QAction::triggered, this,
            [this] { ShowCentredDialog(fm_setting); });
    connect(add(p_set, "Associate1", QStringLiteral("Associate")), &QAction::triggered, this,
            [this] { ShowCentredDialog(fm_associate); });
}

void MainWindow::writeWindowSize() {
    const bool least = size() == minimumSize();
    const int width = least ? 0 : this->width();
    const int height = least ? 0 : this->height();
    if (width != keys::read(settings, keys::WindowWidth) ||
        height != keys::read(settings, keys::WindowHeight)) {
        keys::write(settings, keys::WindowWidth, width);
        keys::write(settings, keys::WindowHeight, height);
    }
}

void MainWindow::storeVolume() {
    volumeStore_->stop();
    const int volume = surface_->BarvValue();
    if (volume != keys::read(settings, keys::Volume))
        keys::write(settings, keys::Volume, volume);
    settings.commit(); // with whatever else the window changed; nothing when nothing did
}

} // namespace varnelo
