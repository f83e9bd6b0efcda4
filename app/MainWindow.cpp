#include "app/MainWindow.h"

#include "app/Application.h"
#include "app/ClockTimer.h"
#include "app/SkinLook.h"
#include "app/SkinSurface.h"
#include "app/WindowClockHost.h"
#include "common/Seams.h"
#include "convert/Converter.h"
#include "convert/EncoderSetup.h"
#include "desktop/FileAssociation.h"
#include "library/LibraryCatalogue.h"
#include "library/LibraryEntries.h"
#include "library/LocalPlayer.h"
#include "library/TagEditor.h"
#include "options/OptionsDialog.h"
#include "platform/audiofile/AudioFile.h"
#include "platform/audiofile/AudioFile2LameEnc.h"
#include "platform/cd/AudioCDGrabber.h"
#include "platform/cd/FreeDBInformation.h"
#include "platform/skin/Skin.h"
#include "platform/sound/AudioPlayer.h"
#include "platform/sound/AudioRecord.h"
#include "platform/stream/StreamLibrary.h"
#include "radio/DirectoryClient.h"
#include "radio/DirectorySearch.h"
#include "radio/Recorder.h"
#include "radio/RecordingSources.h"
#include "radio/RecordingsList.h"
#include "radio/SearchPanel.h"
#include "radio/StationCatalogue.h"
#include "radio/StationInfoWindow.h"
#include "radio/StationPanel.h"
#include "radio/StreamPlayer.h"
#include "rip/CdPlayer.h"
#include "rip/CdRipper.h"
#include "rip/RipperPanel.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace varnelo {

// Window creation: the views over the skin, the dialogs and the menus.
namespace {

// The mute buttons' glyphs: a speaker with sound waves, or crossed out.
QIcon speakerIcon(bool muted) {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(0xc9, 0xcf, 0xdb);
    QPainterPath body;
    body.moveTo(5, 12);
    body.lineTo(11, 12);
    body.lineTo(18, 6);
    body.lineTo(18, 26);
    body.lineTo(11, 20);
    body.lineTo(5, 20);
    body.closeSubpath();
    p.fillPath(body, ink);
    p.setPen(QPen(ink, 2.2, Qt::SolidLine, Qt::RoundCap));
    if (muted) {
        p.drawLine(22, 12, 29, 20);
        p.drawLine(29, 12, 22, 20);
    } else {
        p.drawArc(QRectF(14, 10, 10, 12), -60 * 16, 120 * 16);
        p.drawArc(QRectF(13, 6, 16, 20), -60 * 16, 120 * 16);
    }
    return QIcon(pm);
}

// Enter and Space on a list's current row do what a double click on it does
// (play it); on a row with a tick box (the CD's tracks) Space keeps ticking it.
class PlayOnKeys : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Space)
            return false;
        auto *view = static_cast<QTreeView *>(watched);
        const QModelIndex current = view->currentIndex();
        if (!current.isValid() || (key == Qt::Key_Space && (current.flags() & Qt::ItemIsUserCheckable)))
            return false;
        Q_EMIT view->doubleClicked(current);
        return true;
    }
};

QTreeView *reportView(QWidget *parent, const char *name) {
    auto *view = new QTreeView(parent);
    view->installEventFilter(new PlayOnKeys(view));
    view->setObjectName(QLatin1String(name));
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->header()->setSectionsClickable(false);
    view->setAllColumnsShowFocus(true);
    return view;
}

// Brings a widget over its siblings each time it is shown.
class RaiseOnShow : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Show)
            static_cast<QWidget *>(watched)->raise();
        return false;
    }
};

QTreeView *treeView(QWidget *parent, const char *name) {
    auto *view = new QTreeView(parent);
    view->setObjectName(QLatin1String(name));
    view->setHeaderHidden(true);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return view;
}

} // namespace

MainWindow::MainWindow(Prompts &prompts, DesktopShell &shell, Clock &clock, DataFolder folder,
                       QStringList arguments, std::unique_ptr<SoundOutput> output, QWidget *parent)
    : QWidget(parent, Qt::FramelessWindowHint), prompts_(prompts), shell_(shell), clock_(clock),
      folder_(std::move(folder)), arguments_(std::move(arguments)), sound_(std::move(output)) {
    // Window creation: the sound output everything plays through, and the stream library on it.
    if (!sound_)
        sound_ = SoundOutput::create(SoundOutput::Backend::System);
    streams_ = std::make_unique<StreamLibrary>(*sound_);
    AudioFile_ = std::make_unique<AudioFile>();
    AudioFilew_ = std::make_unique<AudioFile>();
    setStyleSheet(SkinStyleSheet(QApplication::palette())); // again with the skin's palette at hook-up
    setObjectName(QStringLiteral("fm_main"));
    setWindowTitle(QStringLiteral("Varnelo V1.00"));
    setMinimumSize(ClientWidth, ClientHeight);
    resize(ClientWidth, ClientHeight);
    catalogue_ = std::make_unique<StationCatalogue>(shown_, folder_, prompts_, this);
    recordingsList_ = new RecordingsList(catalogue_->lists, this);
    library_ = std::make_unique<LibraryCatalogue>(folder_, this);
    entries_ = std::make_unique<LibraryEntries>(*library_, prompts_, this);
    playback_.setShown([this] { return shownPlayer(); });
    buildViews();
    buildMenus();
    bindLibrary();
    buildRadio();
    bindPlayback();
    buildDirectory();
    bindRecording();
    // The play button takes its pause look while a station or a file sounds (a CD track has no pause).
    connect(&playback_, &PlaybackCoordinator::stateChanged, this, [this] {
        skin->SetSelected(QStringLiteral("btnplay"),
                          playback_.sounding() && playback_.current()->kind() != MediaKind::CdTrack);
    });
    // The columns grow to their texts and share the list's width: a long text
    // gives way (cut with "…", whole in its tip) so every column stays in sight.
    FitColumnsToContents(LV, {246, 97}, true);
    FitColumnsToContents(
        lv2, {std::begin(LibraryCatalogue::ColumnWidths), std::end(LibraryCatalogue::ColumnWidths)}, true);
    FitColumnsToContents(LV_R, {197, 87, 61}, true);

    // Window creation: sound output, tray icon, the clock.
    windowShown_ = true;
    buildTray();
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    clockHost_ = std::make_unique<WindowClockHost>(*this);
    clockTimer_ = std::make_unique<ClockTimer>(playback_, clock_, *clockHost_);
    connect(Timer1, &QTimer::timeout, this, &MainWindow::Timer1Timer);
    Timer1->start();

    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

Player *MainWindow::shownPlayer() {
    if (shown_.rip())
        return cdPlayer_;
    if (shown_.radio() && catalogue_->lists.stationListActive)
        return player_;
    return localPlayer_;
}

MainWindow::~MainWindow() {
    // The player's events must not reach a half-destroyed window.
    if (AudioPlayer_)
        AudioPlayer_->disconnect();
    // The recorder ends a running recording with the components it uses still there.
    delete recorder_;
    recorder_ = nullptr;
    if (AudioPlayercd_)
        AudioPlayercd_->disconnect();
    if (AudioCDGrabber_)
        AudioCDGrabber_->disconnect();
    releaseDirectory();
}

void MainWindow::createDialogs() {
    // Created hidden, in this order, and kept for the whole run.
    stationInfo_ = new StationInfoWindow(this);
    stationInfo_->stationAddress = [this] { return panel_radio->url->text(); };
    stationInfo_->homeAddress = [this] { return panel_radio->eurl->text(); };
    fm_set = stationInfo_;
    options_ = new OptionsDialog(settings, shown_, prompts_, this);
    fm_setting = options_;
    bindRecordingOptions();
    createDesktopDialogs(); // fm_dir, fm_about and fm_associate
    tagEditor_ = new TagEditor(shown_, prompts_, shell_, library_.get(), this);
    tagEditor_->playback = &playback_;
    fm_id3 = tagEditor_;
    bindConverter();
    bindCd();
}

void MainWindow::buildViews() {
    // The skin draws the window; the views lie over its areas (placeViews).
    skin = new Skin(this);
    skin->setObjectName(QStringLiteral("Skin"));
    skin->setGeometry(rect());
    tv = treeView(this, "tv");
    tv->setModel(&catalogue_->tv);
    tv->setSelectionModel(&catalogue_->tvSelection);
    tv->setDragEnabled(true);
    tv->setAcceptDrops(true);
    tv->setDragDropMode(QAbstractItemView::DragOnly); // a drop changes nothing
    tv->setGeometry(12, 96, 170, 300);
    connect(tv, &QTreeView::clicked, this,
            [this] { Application::guarded([this] { catalogue_->ShowCatalogueNode(); }); });
    tv->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tv, &QTreeView::customContextMenuRequested, this, [this](const QPoint &pos) {
        Application::guarded([&] { catalogue_->tvMouseDown(Qt::RightButton, tv->indexAt(pos)); });
    });

    LV = reportView(this, "LV");
    LV->setModel(&catalogue_->LV);
    LV->setSelectionModel(&catalogue_->LVSelection);
    LV->setColumnWidth(StationCatalogue::TitleColumn, 246);
    LV->setColumnWidth(StationCatalogue::GenreColumn, 97);
    LV->setColumnHidden(StationCatalogue::StreamUrlColumn, true);
    LV->setColumnHidden(StationCatalogue::HomeUrlColumn, true);
    LV->setGeometry(190, 96, 386, 300);

    tv2 = treeView(this, "tv2");
    tv2->setModel(&library_->tv2);
    tv2->setSelectionModel(&library_->tv2Selection);
    tv2->setGeometry(tv->geometry());
    lv2 = reportView(this, "lv2");
    lv2->setGeometry(LV->geometry());
    lv_cd = reportView(this, "lv_cd");
    lv_cd->setGeometry(LV->geometry());
    // Recordings of this run: Title, Genre, Time and the hidden full path.
    LV_R = reportView(this, "LV_R");
    LV_R->setModel(&recordingsList_->LV_R);
    LV_R->setSelectionModel(&recordingsList_->selection);
    LV_R->setColumnWidth(0, 197);
    LV_R->setColumnWidth(1, 87);
    LV_R->setColumnWidth(2, 61);
    LV_R->setColumnHidden(3, true);
    LV_R->hide();

    panel_radio = new StationPanel(this);
    panel_radio->setGeometry(190, 96, 386, 230);
    catalogue_->setPanelSource([this] {
        StationRecord r;
        r.Name = panel_radio->ename->text();
        r.Genre = panel_radio->egenre->text();
        r.StreamUrl = panel_radio->url->text();
        r.HomeUrl = panel_radio->eurl->text();
        return r;
    });
    connect(panel_radio->Button14, &QPushButton::clicked, this, [this] {
        Application::guarded([this] {
            // The panel lies over the list: it closes to show the new row.
            if (catalogue_->AddStation())
                panel_radio->hide();
        });
    });

    panel_state = new QWidget(this);
    panel_state->setObjectName(QStringLiteral("panel_state"));
    lab_state = new QLabel(panel_state);
    lab_state->setObjectName(QStringLiteral("lab_state"));
    auto *stateLayout = new QVBoxLayout(panel_state);
    stateLayout->addWidget(lab_state);
    panel_state->setGeometry(190, 400, 260, 30);
    panel_state->hide();
    lab_cover = new QLabel(this);
    lab_cover->setObjectName(QStringLiteral("lab_cover"));
    lab_cover->setAlignment(Qt::AlignCenter);
    lab_cover->hide();

    pan_search = new SearchPanel(this);
    // The panels lie over the lists: opaque, and the one shown last on top.
    for (QWidget *panel : {static_cast<QWidget *>(panel_radio), static_cast<QWidget *>(pan_search)}) {
        panel->setAttribute(Qt::WA_StyledBackground);
        panel->installEventFilter(new RaiseOnShow(panel));
    }

    BitBtn1 = new QPushButton(this);
    BitBtn1->setIcon(speakerIcon(false));
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setToolTip(QStringLiteral("Mute"));
    BitBtn1->setShortcut(Qt::Key_Escape);
    BitBtn2 = new QPushButton(this);
    BitBtn2->setIcon(speakerIcon(true));
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setToolTip(QStringLiteral("Unmute"));
    for (QPushButton *b : {BitBtn2, BitBtn1}) {
        b->setFocusPolicy(Qt::NoFocus);
        b->raise();
    }
    placeViews();
}

void MainWindow::placeViews() {
    const auto area = [this](const char *name, QRect fallback) {
        const QRect r = skin->areaRect(QLatin1String(name));
        return r.isNull() ? fallback : r;
    };
    const QRect tree = area("area_tree", QRect(12, 96, 170, 300));
    const QRect list = area("area_list", QRect(190, 96, 386, 300));
    for (QTreeView *v : {tv, tv2})
        v->setGeometry(tree);
    for (QTreeView *v : {LV, lv2})
        v->setGeometry(list);
    // The rip page has no tree: its list takes the tree's place too, so that the
    // time and status columns are in sight.
    const QRect tracks = tree.united(list);
    lv_cd->setGeometry(tracks.adjusted(-4, -4, 4, 4)); // over both panels, with a frame like theirs
    // The search panel takes the bottom of the list area; the lists (and the
    // recordings under the stations) make room for it, so no row or scroll bar
    // hides behind it.
    const QRect panel = area("area_panel", list);
    const int searchHeight = pan_search->sizeHint().height();
    pan_search->setGeometry(panel.x(), panel.bottom() + 1 - searchHeight, panel.width(), searchHeight);
    const int searchRoom = pan_search->isHidden() ? 0 : searchHeight;
    lv2->setGeometry(list.adjusted(0, 0, 0, -searchRoom));
    LV_R->setGeometry(area("area_recordings", QRect(list.x(), list.bottom() - 72, list.width(), 72))
                          .translated(0, -searchRoom));
    LV->setGeometry(
        list.adjusted(0, 0, 0, -searchRoom - (!shown_.recordingsListShown() ? 0 : LV_R->height())));
    panel_radio->setGeometry(list);
    for (QPushButton *b : {BitBtn2, BitBtn1}) // beside the volume bar
        b->setGeometry(skin->fromForm(QRect(462, 398, 25, 24)));
    // The cover takes a square at the strip's end while it shows.
    const QRect strip = area("area_state", QRect(12, 400, 440, 24));
    const int coverSide = strip.height() + 8;
    lab_cover->setGeometry(strip.right() + 1 - coverSide, strip.center().y() - coverSide / 2, coverSide,
                           coverSide);
    panel_state->setGeometry(lab_cover->isHidden() ? strip : strip.adjusted(0, 0, -coverSide - 6, 0));
    if (converter_) // over the bottom of the list area
        converter_->Panel_convert->setGeometry(list.x(), list.bottom() - 27, list.width(), 28);
    if (Panel_ripper_)
        Panel_ripper_->setGeometry(tracks.x(), tracks.bottom() - 27, tracks.width(), 28);
    lab_state->setContentsMargins(0, 0, 0, 0);
    panel_state->layout()->setContentsMargins(0, 0, 0, 0);
}

void MainWindow::buildMenus() {
    p_lv = new QMenu(this);
    p_lv->setObjectName(QStringLiteral("p_lv"));
    auto *N1 = p_lv->addAction(QStringLiteral("Play/Pause"));
    N1->setObjectName(QStringLiteral("N1"));
    auto *Pause1 = p_lv->addAction(QStringLiteral("Stop"));
    Pause1->setObjectName(QStringLiteral("Pause1"));
    p_lv->addSeparator()->setObjectName(QStringLiteral("N3"));
    p_lv->addAction(catalogue_->audioInfo);
    p_lv->addAction(catalogue_->ClearHistory1);
    auto *Info1 = p_lv->addAction(QStringLiteral("Add To Favorites"));
    Info1->setObjectName(QStringLiteral("Info1"));
    p_lv->addAction(catalogue_->DelformFavorites1);
    p_lv->addSeparator()->setObjectName(QStringLiteral("N4"));
    auto *N5 = p_lv->addAction(QStringLiteral("Show/Conceal"));
    N5->setObjectName(QStringLiteral("N5"));

    connect(catalogue_->ClearHistory1, &QAction::triggered, this,
            [this] { Application::guarded([this] { catalogue_->ClearHistory(); }); });
    connect(Info1, &QAction::triggered, this,
            [this] { Application::guarded([this] { catalogue_->AddToFavorites(); }); });
    connect(catalogue_->DelformFavorites1, &QAction::triggered, this, [this] {
        Application::guarded([this] {
            if (catalogue_->LV.rowCount() == 0)
                return;
            catalogue_->RemoveFavorites();
            catalogue_->ShowCatalogueNode();
        });
    });
    LV->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(LV, &QTreeView::customContextMenuRequested, this, [this](const QPoint &pos) {
        // A right press makes the pressed row the current one for the menu's row actions.
        const QModelIndex index = LV->indexAt(pos);
        if (index.isValid()) {
            catalogue_->selectRow(index.row());
            catalogue_->lists.currentRow = index.row();
        }
        p_lv->popup(LV->viewport()->mapToGlobal(pos));
    });

    p_min = new QMenu(this);
    p_min->setObjectName(QStringLiteral("p_min"));
    auto *N11 = p_min->addAction(QStringLiteral("Open E.."));
    N11->setObjectName(QStringLiteral("N11"));
    p_min->addSeparator();
    auto *N14 = p_min->addAction(QStringLiteral("Options"));
    N14->setObjectName(QStringLiteral("N14"));
    p_min->addSeparator();
    auto *Exit2 = p_min->addAction(QStringLiteral("About"));
    Exit2->setObjectName(QStringLiteral("Exit2"));
    p_min->addSeparator();
    auto *Exit3 = p_min->addAction(QStringLiteral("Exit"));
    Exit3->setObjectName(QStringLiteral("Exit3"));
    connect(N11, &QAction::triggered, this, [this] {
        if (!windowShown_)
            ApplicationRestore();
    });
    connect(N14, &QAction::triggered, this, [this] {
        // Where it last was; centred the first time, when it has no place yet.
        if (!fm_setting)
            return;
        if (!fm_setting->testAttribute(Qt::WA_WState_Created))
            ShowCentredDialog(fm_setting);
        else
            fm_setting->show();
    });
    connect(Exit2, &QAction::triggered, this, &MainWindow::ShowAbout);
    connect(Exit3, &QAction::triggered, this, &QWidget::close);
}

bool MainWindow::converting() const {
    return converter_ && converter_->converting();
}

bool MainWindow::ripping() const {
    return ripper_ && ripper_->ripping();
}

} // namespace varnelo
