#include "app/MainWindow.h"

#include "app/Application.h"
#include "app/PlayingRowDelegate.h"
#include "app/SkinSurface.h"
#include "convert/Converter.h"
#include "convert/EncoderSetup.h"
#include "convert/OptionsDialog.h"
#include "convert/SettingsKeys.h"
#include "library/LocalPlayer.h"
#include "library/TagEditor.h"
#include "platform/AudioFile2LameEnc.h"
#include "platform/AudioPlayer.h"
#include "platform/AudioFile.h"
#include "platform/Skin.h"
#include "platform/SoundOutput.h"
#include "platform/StreamLibrary.h"
#include "radio/SearchPanel.h"
#include "radio/StationInfoWindow.h"
#include "radio/StreamPlayer.h"
#include "app/TrayTip.h"
#include "common/Error.h"
#include "common/Seams.h"
#include "common/TreeText.h"
#include "library/LibraryCatalogue.h"
#include "library/LibraryEntries.h"
#include "radio/DataFiles.h"
#include "radio/StationCatalogue.h"
#include "radio/StationPanel.h"

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
namespace {

// The two 16 by 16 tray images: a note on a disc, and the same dimmed for the tray state.
QIcon trayImage(bool minimized) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(minimized ? QColor(0x55, 0x60, 0x70) : QColor(0x1e, 0x88, 0xe5));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(4, 9, 4.5, 3.5));
    p.fillRect(QRectF(7.4, 3.5, 1.3, 7), Qt::white);
    p.fillRect(QRectF(7.4, 3.5, 4, 1.5), Qt::white);
    return QIcon(pm);
}

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

QTreeView* reportView(QWidget* parent, const char* name) {
    auto* view = new QTreeView(parent);
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

QTreeView* treeView(QWidget* parent, const char* name) {
    auto* view = new QTreeView(parent);
    view->setObjectName(QLatin1String(name));
    view->setHeaderHidden(true);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return view;
}

} // namespace

MainWindow::MainWindow(Prompts& prompts, DesktopShell& shell, Clock& clock, DataFolder folder,
                       QStringList arguments, std::unique_ptr<SoundOutput> output, QWidget* parent)
    : QWidget(parent, Qt::FramelessWindowHint), prompts_(prompts), shell_(shell), clock_(clock),
      folder_(std::move(folder)), arguments_(std::move(arguments)), sound_(std::move(output)) {
    // Window creation: the sound output everything plays through, and the stream library on it.
    if (!sound_)
        sound_ = SoundOutput::create(SoundOutput::Backend::System);
    streams_ = std::make_unique<StreamLibrary>(*sound_);
    AudioFile_ = std::make_unique<AudioFile>();
    AudioFilew_ = std::make_unique<AudioFile>();
    setStyleSheet(QStringLiteral(
        "QTreeView { background: #1b1e25; color: #d8dce6; border: none; selection-background-color: #5b5bd6;"
        " selection-color: white; alternate-background-color: #20242c; }"
        "QHeaderView::section { background: #1b1e25; color: #8b93a7; border: none; padding: 2px 6px; }"
        "QTreeView::item { padding: 1px 2px; }"
        "#panel_radio, #pan_search { background: #232733; border: 1px solid #343a48; border-radius: 6px; }"
        "#panel_radio QLabel, #pan_search QLabel { color: #c9cfdb; }"
        "#panel_radio QLineEdit, #pan_search QLineEdit, #pan_search QComboBox { background: #14161b; color: #e4e7ee;"
        " border: 1px solid #3a4152; border-radius: 4px; padding: 2px 4px; }"
        "#panel_radio QPushButton, #pan_search QPushButton { background: #343a4a; color: #e4e7ee; border: none;"
        " border-radius: 4px; padding: 4px 10px; } #panel_radio QPushButton:hover, #pan_search QPushButton:hover"
        " { background: #5b5bd6; }"
        "#panel_state { background: transparent; } #lab_state { color: #8b93a7; }"
        "#BitBtn1, #BitBtn2 { background: transparent; color: #c9cfdb; border: none; font-size: 14px; }"
        "#BitBtn1:hover, #BitBtn2:hover { color: white; }"));
    setObjectName(QStringLiteral("fm_main"));
    setWindowTitle(QStringLiteral("Varnelo V1.00"));
    setFixedSize(ClientWidth, ClientHeight);
    catalogue_ = std::make_unique<StationCatalogue>(state, folder_, prompts_, this);
    library_ = std::make_unique<LibraryCatalogue>(state, folder_, this);
    entries_ = std::make_unique<LibraryEntries>(*library_, state, prompts_, this);
    buildViews();
    buildMenus();
    bindLibrary();
    buildRadio();
    bindPlayback();

    // Window creation: sound output, tray icon, the clock.
    state.WindowShown = true;
    buildTray();
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &MainWindow::Timer1Timer);
    Timer1->start();

    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

MainWindow::~MainWindow() {
    // The player's events must not reach a half-destroyed window.
    if (AudioPlayer_)
        AudioPlayer_->disconnect();
}

void MainWindow::createDialogs() {
    // Created hidden, in this order, and kept for the whole run.
    const auto make = [this](const char* name, const QString& title) {
        auto* d = new QDialog(this);
        d->setObjectName(QLatin1String(name));
        d->setWindowTitle(title);
        return d;
    };
    stationInfo_ = new StationInfoWindow(this);
    stationInfo_->stationAddress = [this] { return panel_radio->url->text(); };
    stationInfo_->homeAddress = [this] { return panel_radio->eurl->text(); };
    fm_set = stationInfo_;
    options_ = new OptionsDialog(settings, state, prompts_, this);
    options_->setRecordingFile(AudioFile_.get());
    fm_setting = options_;
    fm_dir = make("fm_dir", QString());
    tagEditor_ = new TagEditor(state, prompts_, shell_, library_.get(), this);
    fm_id3 = tagEditor_;
    bindConverter();
    fm_about = make("fm_about", QString());
    fm_associate = make("fm_associate", QString());
}

void MainWindow::buildViews() {
    // The skin draws the window; the views lie over its areas (placeViews).
    skin = new Skin(this);
    skin->setObjectName(QStringLiteral("Skin"));
    skin->setGeometry(0, 0, ClientWidth, ClientHeight);
    tv = treeView(this, "tv");
    tv->setModel(&catalogue_->tv);
    tv->setSelectionModel(&catalogue_->tvSelection);
    tv->setDragEnabled(true);
    tv->setAcceptDrops(true);
    tv->setDragDropMode(QAbstractItemView::DragOnly);  // a drop changes nothing
    tv->setGeometry(12, 96, 170, 300);
    connect(tv, &QTreeView::clicked, this, [this] { Application::guarded([this] { catalogue_->ShowCatalogueNode(); }); });
    tv->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tv, &QTreeView::customContextMenuRequested, this, [this](const QPoint& pos) {
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
    recordings_.setHorizontalHeaderLabels(
        {QStringLiteral("Title"), QStringLiteral("Genre"), QStringLiteral("Time"), QStringLiteral("Path")});
    LV_R->setModel(&recordings_);
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
    connect(panel_radio->Button14, &QPushButton::clicked, this,
            [this] { Application::guarded([this] { catalogue_->AddStation(); }); });

    panel_state = new QWidget(this);
    panel_state->setObjectName(QStringLiteral("panel_state"));
    lab_state = new QLabel(panel_state);
    lab_state->setObjectName(QStringLiteral("lab_state"));
    auto* stateLayout = new QVBoxLayout(panel_state);
    stateLayout->addWidget(lab_state);
    panel_state->setGeometry(190, 400, 260, 30);
    panel_state->hide();

    pan_search = new SearchPanel(this);

    BitBtn1 = new QPushButton(this);
    BitBtn1->setIcon(speakerIcon(false));
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setToolTip(QStringLiteral("Mute"));
    BitBtn1->setShortcut(Qt::Key_Escape);
    BitBtn2 = new QPushButton(this);
    BitBtn2->setIcon(speakerIcon(true));
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setToolTip(QStringLiteral("Unmute"));
    for (QPushButton* b : {BitBtn2, BitBtn1}) {
        b->setGeometry(462, 398, 25, 24);
        b->setFocusPolicy(Qt::NoFocus);
        b->raise();
    }
    placeViews();
}

void MainWindow::placeViews() {
    const auto area = [this](const char* name, QRect fallback) {
        const QRect r = skin->areaRect(QLatin1String(name));
        return r.isNull() ? fallback : r;
    };
    const QRect tree = area("area_tree", QRect(12, 96, 170, 300));
    const QRect list = area("area_list", QRect(190, 96, 386, 300));
    for (QTreeView* v : {tv, tv2})
        v->setGeometry(tree);
    for (QTreeView* v : {LV, lv2, lv_cd})
        v->setGeometry(list);
    LV_R->setGeometry(area("area_recordings", QRect(list.x(), list.bottom() - 72, list.width(), 72)));
    if (!state.RecordingsListHidden)
        LV->setGeometry(list.adjusted(0, 0, 0, -LV_R->height()));
    panel_radio->setGeometry(list);
    const QRect panel = area("area_panel", list);
    pan_search->setGeometry(panel.x(), panel.bottom() - 40, panel.width(), 40);
    panel_state->setGeometry(area("area_state", QRect(12, 400, 440, 24)));
    if (converter_)  // over the bottom of the list area
        converter_->Panel_convert->setGeometry(list.x(), list.bottom() - 27, list.width(), 28);
    lab_state->setContentsMargins(0, 0, 0, 0);
    panel_state->layout()->setContentsMargins(0, 0, 0, 0);
}

void MainWindow::buildMenus() {
    p_lv = new QMenu(this);
    p_lv->setObjectName(QStringLiteral("p_lv"));
    auto* N1 = p_lv->addAction(QStringLiteral("Play/Pause"));
    N1->setObjectName(QStringLiteral("N1"));
    auto* Pause1 = p_lv->addAction(QStringLiteral("Stop"));
    Pause1->setObjectName(QStringLiteral("Pause1"));
    p_lv->addSeparator()->setObjectName(QStringLiteral("N3"));
    p_lv->addAction(catalogue_->audioInfo);
    p_lv->addAction(catalogue_->ClearHistory1);
    auto* Info1 = p_lv->addAction(QStringLiteral("Add To Favorites"));
    Info1->setObjectName(QStringLiteral("Info1"));
    p_lv->addAction(catalogue_->DelformFavorites1);
    p_lv->addSeparator()->setObjectName(QStringLiteral("N4"));
    auto* N5 = p_lv->addAction(QStringLiteral("Show/Conceal"));
    N5->setObjectName(QStringLiteral("N5"));

    connect(catalogue_->ClearHistory1, &QAction::triggered, this,
            [this] { Application::guarded([this] { catalogue_->ClearHistory(); }); });
    connect(Info1, &QAction::triggered, this, [this] { Application::guarded([this] { catalogue_->AddToFavorites(); }); });
    connect(catalogue_->DelformFavorites1, &QAction::triggered, this, [this] {
        Application::guarded([this] {
            if (catalogue_->LV.rowCount() == 0)
                return;
            catalogue_->RemoveFavorites();
            catalogue_->ShowCatalogueNode();
        });
    });
    LV->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(LV, &QTreeView::customContextMenuRequested, this, [this](const QPoint& pos) {
        // A right press makes the pressed row the current one for the menu's row actions.
        const QModelIndex index = LV->indexAt(pos);
        if (index.isValid()) {
            catalogue_->selectRow(index.row());
            state.CurrentRow = index.row();
        }
        p_lv->popup(LV->viewport()->mapToGlobal(pos));
    });

    p_min = new QMenu(this);
    p_min->setObjectName(QStringLiteral("p_min"));
    auto* N11 = p_min->addAction(QStringLiteral("Open E.."));
    N11->setObjectName(QStringLiteral("N11"));
    p_min->addSeparator();
    auto* N14 = p_min->addAction(QStringLiteral("Options"));
    N14->setObjectName(QStringLiteral("N14"));
    p_min->addSeparator();
    auto* Exit2 = p_min->addAction(QStringLiteral("About"));
    Exit2->setObjectName(QStringLiteral("Exit2"));
    p_min->addSeparator();
    auto* Exit3 = p_min->addAction(QStringLiteral("Exit"));
    Exit3->setObjectName(QStringLiteral("Exit3"));
    connect(N11, &QAction::triggered, this, [this] {
        if (!state.WindowShown)
            ApplicationRestore();
    });
    connect(N14, &QAction::triggered, this, [this] {
        if (fm_setting)
            fm_setting->show();
    });
    connect(Exit2, &QAction::triggered, this, [this] {
        if (fm_about)
            fm_about->exec();
    });
    connect(Exit3, &QAction::triggered, this, &QWidget::close);
}

void MainWindow::buildTray() {
    normalIcon_ = trayImage(false);
    minimizedIcon_ = trayImage(true);
    setWindowIcon(normalIcon_);
    tray_ = new QSystemTrayIcon(normalIcon_, this);
    tray_->setToolTip(QStringLiteral("Varnelo"));
    tray_->setContextMenu(p_min);
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason != QSystemTrayIcon::Trigger)
            return;
        if (state.WindowShown)
            ApplicationMinimize();
        else
            ApplicationRestore();
    });
    // Without a tray the program still runs; the window is then its only face.
    if (QSystemTrayIcon::isSystemTrayAvailable())
        tray_->show();
}

void MainWindow::bindLibrary() {
    const auto guardedSlot = [this](QAction* action, void (LibraryEntries::*operation)()) {
        connect(action, &QAction::triggered, this,
                [this, operation] { Application::guarded([this, operation] { (entries_.get()->*operation)(); }); });
    };
    entries_->setSettings(&settings);
    library_->setStationFavoritesEntry(catalogue_->DelformFavorites1);
    openCommandLineFile = [this](const QString& path) { entries_->OpenCommandLineFile(path); };

    lv2->setModel(&library_->lv2);
    lv2->setSelectionModel(&library_->lv2Selection);
    for (int column = 0; column < LibraryCatalogue::PathColumn; ++column)
        lv2->setColumnWidth(column, LibraryCatalogue::ColumnWidths[column]);
    lv2->setColumnHidden(LibraryCatalogue::PathColumn, true);
    tv2->setDragDropMode(QAbstractItemView::NoDragDrop);
    connect(tv2, &QTreeView::clicked, this, [this] { Application::guarded([this] { library_->ShowLibraryNode(); }); });
    connect(lv2, &QTreeView::clicked, this, [this] { Application::guarded([this] { library_->lv2Click(); }); });
    connect(lv2, &QTreeView::pressed, this, [this] {
        Application::guarded([this] { library_->lv2MouseDown(Qt::LeftButton); });
    });

    p_tv2 = new QMenu(this);
    p_tv2->setObjectName(QStringLiteral("p_tv2"));
    p_tv2->addAction(library_->del);
    guardedSlot(library_->del, &LibraryEntries::DeleteEntries);
    tv2->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tv2, &QTreeView::customContextMenuRequested, this, [this](const QPoint& pos) {
        Application::guarded([&] { library_->tv2MouseDown(Qt::RightButton, tv2->indexAt(pos)); });
        library_->tv2ContextPopup();
        p_tv2->popup(tv2->viewport()->mapToGlobal(pos));
    });

    P_lv2 = new QMenu(this);
    P_lv2->setObjectName(QStringLiteral("P_lv2"));
    for (QAction* a : {entries_->Addfile2, entries_->Add1, entries_->Del1, entries_->Clearall1})
        P_lv2->addAction(a);
    guardedSlot(entries_->Addfile2, &LibraryEntries::AddFiles);
    guardedSlot(entries_->Add1, &LibraryEntries::AddToLibraryFavorites);
    guardedSlot(entries_->Del1, &LibraryEntries::DeleteEntries);
    guardedSlot(entries_->Clearall1, &LibraryEntries::ClearAll);
    lv2->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lv2, &QTreeView::customContextMenuRequested, this, [this](const QPoint& pos) {
        const QModelIndex index = lv2->indexAt(pos);
        if (index.isValid())
            library_->selectRow(index.row());
        Application::guarded([this] { library_->lv2MouseDown(Qt::RightButton); });
        P_lv2->popup(lv2->viewport()->mapToGlobal(pos));
    });
}

void MainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    // Let the window appear first, as the first showing does.
    QTimer::singleShot(0, this, [this] {
        Application::guarded([this] {
            if (!state.StartupDone)
                RunStartupSequence();
            else
                RunCommandLineStep();
        });
        Q_EMIT startupFinished();
    });
}

void MainWindow::RunStartupSequence() {
    settings.open(QStringLiteral("temp.ini"));
    folder_.create();
    surface_->HookUp();

    // Data files, in order; an existing tree file is loaded, a missing one is
    // created empty and the built-in tree kept.
    const bool hadLibraryTree = QFile::exists(folder_.file(QStringLiteral("tt.txt")));
    const bool hadCatalogueTree = QFile::exists(folder_.file(QStringLiteral("treetext.txt")));
    CreateMissingDataFiles(folder_);
    if (hadLibraryTree) {
        try {
            library_->LoadLibraryTree(library_->treePath());
        } catch (const Error& e) {
            Application::showUnhandled(e.message());
        }
    }
    if (hadCatalogueTree) {
        try {
            catalogue_->LoadCatalogueTree(catalogue_->treePath());
        } catch (const Error& e) {
            Application::showUnhandled(e.message());
        }
    }

    surface_->SetBarv(streams_->GetVolume());
    ShowRadioPage();
    AudioFile_->SetFormatOption(-1);
    AudioFilew_->SetFormatOption(-1);
    if (options_)
        options_->LoadOptions();

    QStandardItem* stations = tree::FindNodeByText(catalogue_->tv, QStringLiteral("Radio Stations"));
    if (!stations)
        return;  // runs again at the next showing
    tv->setFocus();
    catalogue_->selectNode(stations);
    catalogue_->ShowCatalogueNode();
    state.StartupDone = true;
    if (options_)
        options_->LoadShutdownOptions();
    if (sound_->fellBack()) {
        // Said once: the program plays on a silent output.
        lab_state->setText(QStringLiteral("No sound device could be opened: playing silently"));
        panel_state->show();
        QTimer::singleShot(8000, panel_state, [this] {
            if (!state.ConnectWorker)
                panel_state->hide();
        });
    }
    RunCommandLineStep();
}

void MainWindow::RunCommandLineStep() {
    if (arguments_.isEmpty())
        return;
    if (openCommandLineFile)
        openCommandLineFile(arguments_.first());
    state.OpenedFromCommandLine = true;
    panel_radio->hide();
    if (state.CdPlaying && stopCdPlayback)
        stopCdPlayback();
    state.StartOffset = 0;
    catalogue_->SaveCatalogueTree();
    ShowLocalPage();
}

void MainWindow::ShowRadioPage() {
    tv->show();
    LV->show();
    LV_R->setVisible(!state.RecordingsListHidden);
    tv2->hide();
    lv2->hide();
    lv_cd->hide();
    state.RadioPage = true;
    state.RipPage = false;
    surface_->MarkPage();
}

void MainWindow::ShowRipPage() {
    tv->hide();
    LV->hide();
    LV_R->hide();
    tv2->hide();
    lv2->hide();
    lv_cd->show();
    state.RadioPage = false;
    state.RipPage = true;
    surface_->MarkPage();
}

void MainWindow::ShowLocalPage() {
    tv->hide();
    LV->hide();
    LV_R->hide();
    tv2->show();
    lv2->show();
    lv_cd->hide();
    state.RadioPage = false;
    state.RipPage = false;
    surface_->MarkPage();
}

QString MainWindow::currentTrayTip() const {
    return tray_ ? tray_->toolTip() : QString();
}

void MainWindow::ApplicationMinimize() {
    state.WindowShown = false;
    hide();
    const QString cdName;  // the CD track list arrives with the ripper
    const QString tip = MinimizedTip(state, clock_.now(), panel_radio->Lstatus->text(), localPlayer_->CurrentFile, cdName);
    tray_->setIcon(minimizedIcon_);
    tray_->setToolTip(tip);
}

void MainWindow::ApplicationRestore() {
    state.WindowShown = true;
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();  // showing runs the command-line step again
    raise();
    activateWindow();
    tray_->setIcon(normalIcon_);
    tray_->setToolTip(QStringLiteral("Varnelo"));
}

void MainWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized) && state.WindowShown)
        QTimer::singleShot(0, this, &MainWindow::ApplicationMinimize);
}

void MainWindow::SaveTrees() {
    library_->SaveLibraryTree();
    catalogue_->SaveCatalogueTree();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (closeConfirmed_) {
        event->accept();
        return;
    }
    Application::guarded([this] { SaveTrees(); });
    if (stopLocalPlayback)
        stopLocalPlayback();
    const PromptAnswer answer = prompts_.message(QStringLiteral("Close it now?"), QStringLiteral("Are you sure?"),
                                                 PromptIcon::Question, PromptButtons::YesNo);
    if (answer != PromptAnswer::Yes) {
        event->ignore();
        return;
    }
    closeConfirmed_ = true;
    streams_->StreamFree(state.StreamHandle);
    tray_->hide();
    event->accept();
}

void MainWindow::Timer1Timer() {
    // The transport buttons show what plays (the skin's pause and recording looks).
    skin->SetSelected(QStringLiteral("btnplay"),
                      (state.StationPlaying && !state.StationPaused) || (state.LocalPlaying && !state.Paused));
    skin->SetSelected(QStringLiteral("btnrec"), state.Recording);
    // The station's elapsed time; the schedule and power-off come with their subsystems.
    if (state.StationPlaying && state.StationPaused)
        return;
    player_->ClockTick();
}

void MainWindow::ShowStationInfo() {
    if (catalogue_->LV.rowCount() == 0)
        return;
    stationInfo_->Navigate(panel_radio->url->text());
    stationInfo_->show();
}

void MainWindow::ToggleRecordingsList() {
    state.RecordingsListHidden = !state.RecordingsListHidden;
    LV_R->setVisible(!state.RecordingsListHidden && state.RadioPage);
    LV->resize(LV->width(), state.RecordingsListHidden ? LV->height() + LV_R->height() : LV->height() - LV_R->height());
}

void MainWindow::bindPlayback() {
    AudioPlayer_ = std::make_unique<AudioPlayer>(*sound_);
    localPlayer_ = new LocalPlayer(state, *library_, *AudioFile_, *AudioPlayer_, this);
    LocalPlayer& local = *localPlayer_;
    local.setLabtime = [this](const QString& text) { surface_->SetLabtime(text); };
    local.setBar = [this](int value) { surface_->SetBar(value); };
    local.bar = [this] { return surface_->BarValue(); };
    local.stopStation = [this] { player_->StopRadioOrRecording(); };
    local.deleteEntries = [this] { entries_->DeleteEntries(); };
    local.reportError = [](const QString& message) { Application::showUnhandled(message); };
    if (auto* recordings = qobject_cast<QStandardItemModel*>(LV_R->model()))
        local.setRecordingsList(recordings, LV_R->selectionModel());

    stopLocalPlayback = [this] { localPlayer_->StopPlayback(); };
    entries_->playRow = [this](int row) { localPlayer_->PlayRow(row); };
    entries_->stopLocalPlayback = stopLocalPlayback;
    if (!entries_->stopStation)
        entries_->stopStation = [this] { player_->StopRadioOrRecording(); };
    const auto guardedCall = [this](void (LocalPlayer::*operation)()) {
        return [this, operation] { Application::guarded([this, operation] { (localPlayer_->*operation)(); }); };
    };
    surface_->localPlayPause = guardedCall(&LocalPlayer::PlayPause);
    surface_->localNext = guardedCall(&LocalPlayer::NextTrack);
    surface_->localPrevious = guardedCall(&LocalPlayer::PreviousTrack);
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
    QAction* first = P_lv2->actions().value(0);
    auto* Play1 = new QAction(QStringLiteral("Play/Pause"), P_lv2);
    Play1->setObjectName(QStringLiteral("Play1"));
    auto* Stop2 = new QAction(QStringLiteral("Stop"), P_lv2);
    Stop2->setObjectName(QStringLiteral("Stop2"));
    connect(Play1, &QAction::triggered, this, guardedCall(&LocalPlayer::PlayPause));
    connect(Stop2, &QAction::triggered, this, guardedCall(&LocalPlayer::StopPlayback));
    P_lv2->insertAction(first, Play1);
    P_lv2->insertAction(first, Stop2);
    Converter1_ = new QMenu(QStringLiteral("Converter "), P_lv2);
    Converter1_->setObjectName(QStringLiteral("Converter1"));
    P_lv2->insertMenu(first, Converter1_);
    auto* ID3Info2 = P_lv2->addAction(QStringLiteral("ID3 Info"));
    ID3Info2->setObjectName(QStringLiteral("ID3Info2"));
    connect(ID3Info2, &QAction::triggered, this, &MainWindow::showTagEditor);
}

void MainWindow::bindConverter() {
    Mp3LameEncoder_ = std::make_unique<AudioFile2LameEnc>();
    encoderSetup_ = std::make_unique<EncoderSetup>(*options_);
    converter_ = new Converter(state, library_->lv2, library_->lv2Selection, *AudioFile_, *AudioFilew_,
                               *Mp3LameEncoder_, *encoderSetup_, tagEditor_->AudioInformation1, prompts_, shell_,
                               this, this);
    placeViews();
    converter_->outputFolder = [this] { return readOutputFolder(settings); };
    converter_->openFolderWhenDone = [this] { return options_->openFolderWhenDone(); };
    converter_->stopPlayback = [this] { localPlayer_->StopPlayback(); };
    for (QAction* a : {converter_->omp3, converter_->owav, converter_->owma, converter_->OGG})
        Converter1_->addAction(a);
}

void MainWindow::showTagEditor() {
    Application::guarded([this] {
        const int row = library_->selectedRow();
        if (!tagEditor_ || library_->rowCount() == 0 || row < 0)
            return;
        tagEditor_->Open(library_->trackRow(row).Path);
    });
}

} // namespace varnelo
