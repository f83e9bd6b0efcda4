#include "app/MainWindow.h"

#include "app/Application.h"
#include "app/TrayTip.h"
#include "common/Error.h"
#include "common/Seams.h"
#include "common/TreeText.h"
#include "radio/DataFiles.h"
#include "radio/StationCatalogue.h"
#include "radio/StationPanel.h"

#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
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
                       QStringList arguments, QWidget* parent)
    : QWidget(parent, Qt::FramelessWindowHint), prompts_(prompts), shell_(shell), clock_(clock),
      folder_(std::move(folder)), arguments_(std::move(arguments)) {
    setObjectName(QStringLiteral("fm_main"));
    setWindowTitle(QStringLiteral("Varnelo V1.00"));
    setFixedSize(ClientWidth, ClientHeight);
    catalogue_ = std::make_unique<StationCatalogue>(state, folder_, prompts_, this);
    buildViews();
    buildMenus();

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

MainWindow::~MainWindow() = default;

void MainWindow::createDialogs() {
    // Created hidden, in this order, and kept for the whole run.
    const auto make = [this](const char* name, const QString& title) {
        auto* d = new QDialog(this);
        d->setObjectName(QLatin1String(name));
        d->setWindowTitle(title);
        return d;
    };
    fm_set = make("fm_set", QString());
    fm_setting = make("fm_setting", QStringLiteral("Options"));
    fm_dir = make("fm_dir", QString());
    fm_id3 = make("fm_id3", QString());
    fm_about = make("fm_about", QString());
    fm_associate = make("fm_associate", QString());
}

void MainWindow::buildViews() {
    // Until the skin places them, the views sit where the skin's areas are.
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
    tv2->setModel(&libraryTree_);
    tv2->setGeometry(tv->geometry());
    lv2 = reportView(this, "lv2");
    lv2->setGeometry(LV->geometry());
    lv_cd = reportView(this, "lv_cd");
    lv_cd->setGeometry(LV->geometry());
    LV_R = reportView(this, "LV_R");
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

    // Data files, in order; an existing tree file is loaded, a missing one is
    // created empty and the built-in tree kept.
    const bool hadLibraryTree = QFile::exists(folder_.file(QStringLiteral("tt.txt")));
    const bool hadCatalogueTree = QFile::exists(folder_.file(QStringLiteral("treetext.txt")));
    CreateMissingDataFiles(folder_);
    if (hadLibraryTree) {
        // The library tree arrives with the library; until then the file is kept as it is.
    }
    if (hadCatalogueTree) {
        try {
            catalogue_->LoadCatalogueTree(catalogue_->treePath());
        } catch (const Error& e) {
            Application::showUnhandled(e.message());
        }
    }

    ShowRadioPage();

    QStandardItem* stations = tree::FindNodeByText(catalogue_->tv, QStringLiteral("Radio Stations"));
    if (!stations)
        return;  // runs again at the next showing
    tv->setFocus();
    catalogue_->selectNode(stations);
    catalogue_->ShowCatalogueNode();
    state.StartupDone = true;
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
    tv2->hide();
    lv2->hide();
    lv_cd->hide();
    state.RadioPage = true;
    state.RipPage = false;
}

void MainWindow::ShowLocalPage() {
    tv->hide();
    LV->hide();
    tv2->show();
    lv2->show();
    lv_cd->hide();
    state.RadioPage = false;
    state.RipPage = false;
}

QString MainWindow::currentTrayTip() const {
    return tray_ ? tray_->toolTip() : QString();
}

void MainWindow::ApplicationMinimize() {
    state.WindowShown = false;
    hide();
    const QString cdName;  // the CD track list arrives with the ripper
    const QString tip = MinimizedTip(state, clock_.now(), panel_radio->Lstatus->text(), state.PlayingListText, cdName);
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
    tray_->hide();
    event->accept();
}

void MainWindow::Timer1Timer() {
    // The clock's duties (elapsed time, schedule, power-off) are added with their subsystems.
}

} // namespace varnelo
