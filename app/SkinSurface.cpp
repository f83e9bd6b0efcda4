#include "app/SkinSurface.h"

#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/SkinLook.h"
#include "common/PlaybackCoordinator.h"
#include "common/RowMove.h"
#include "common/TreeText.h"
#include "library/LibraryCatalogue.h"
#include "library/LibraryEntries.h"
#include "radio/Recorder.h"
#include "radio/SearchPanel.h"
#include "radio/StationCatalogue.h"
#include "radio/StationPanel.h"
#include "radio/StreamPlayer.h"
#include "rip/CdPlayer.h"
#include "rip/CdRipper.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QMenu>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStyle>
#include <QTreeView>

namespace varnelo {

SkinSurface::SkinSurface(MainWindow &window, QObject *parent) : QObject(parent), w_(window) {
    Skin *skin = w_.skin;
    connect(skin, &Skin::OnClick, this,
            [this](const SkinObject &o) { Application::guarded([&] { SkinClick(o); }); });
    connect(skin, &Skin::OnMouseDown, this, [this](const SkinObject &o, Qt::MouseButton b, int x, int y) {
        Application::guarded([&] { SkinMouseDown(o, b, x, y); });
    });
    connect(skin, &Skin::OnMouseUp, this, [this](const SkinObject &o, Qt::MouseButton b, int x, int y) {
        Application::guarded([&] { SkinMouseUp(o, b, x, y); });
    });
    connect(skin, &Skin::OnScrollTrack, this,
            [this](const SkinObject &o, int pos) { Application::guarded([&] { SkinScrollTrack(o, pos); }); });
}

void SkinSurface::HookUp() {
    Skin *skin = w_.skin;
    skin->LoadSkin(Skin::SkinPathFor(QCoreApplication::applicationDirPath()));
    skin->ApplySkin(&w_);
    skin->ApplySkinForm(QStringLiteral("varnelo"));
    if (const SkinObject o = skin->GetObject(QStringLiteral("labtime"))) {
        labtimeText_ = o.AsText();
        labtimeElement_ = o.AsElement();
    }
    if (const SkinObject o = skin->GetObject(QStringLiteral("barv"))) {
        barvRange_ = o.AsRange();
        barvElement_ = o.AsElement();
    }
    if (const SkinObject o = skin->GetObject(QStringLiteral("bar"))) {
        barRange_ = o.AsRange();
        barElement_ = o.AsElement();
    }
    // One palette for the whole program, the skin's: dialogs, menus, message boxes.
    const QPalette palette = skin->formPalette(QApplication::style()->standardPalette());
    QApplication::setPalette(palette);
    w_.setStyleSheet(SkinStyleSheet(palette));
    // The window's own controls sit over the skin it has just taken over.
    w_.setMinimumSize(skin->minimumSize());
    w_.placeViews();
    for (QWidget *child : w_.findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        if (child != skin)
            child->raise();
    w_.BitBtn1->raise();
}

void SkinSurface::SetLabtime(const QString &text) {
    if (labtimeText_.isNull())
        return;
    labtimeText_.SetText(text);
    labtimeElement_.Redraw();
}

int SkinSurface::BarvValue() const {
    return barvRange_.isNull() ? 0 : barvRange_.GetValue();
}

void SkinSurface::SetBarv(int value) {
    if (barvRange_.isNull())
        return;
    barvRange_.SetValue(value);
    barvElement_.Redraw();
}

int SkinSurface::BarValue() const {
    return barRange_.isNull() ? 0 : barRange_.GetValue();
}

void SkinSurface::SetBar(int value) {
    if (barRange_.isNull())
        return;
    barRange_.SetValue(value);
    barElement_.Redraw();
}

void SkinSurface::MarkPage() {
    const ShownPage &s = w_.shownPage();
    w_.skin->SetSelected(QStringLiteral("radio"), s.radio());
    w_.skin->SetSelected(QStringLiteral("rip"), s.rip());
    w_.skin->SetSelected(QStringLiteral("local"), !s.radio() && !s.rip());
    // A disc's track list is not searched, edited or reordered: those buttons
    // leave the rip page, where "+" opens a disc image.
    for (const char *name : {"search", "remove", "up", "down"})
        w_.skin->SetHidden(QLatin1String(name), s.rip());
    if (s.rip())
        w_.pan_search->hide();
}

void SkinSurface::popup(QMenu *menu, const SkinObject &opener) {
    // Under the skin object that opened it, whatever the skin's layout.
    if (menu)
        menu->popup(PopupPosition(w_.skin, opener));
}

QPoint SkinSurface::PopupPosition(const Skin *skin, const SkinObject &opener) {
    const QRect r = opener.AsElement().rect();
    return skin->mapToGlobal(r.isNull() ? QPoint(0, 0) : r.bottomLeft() + QPoint(0, 1));
}

int SkinSurface::MoveSelectedRow(QTreeView *view, int step) {
    auto *model = qobject_cast<QStandardItemModel *>(view->model());
    const QModelIndexList rows = view->selectionModel()->selectedRows();
    if (!model || rows.isEmpty())
        return -1;
    view->setUpdatesEnabled(false);
    const int target = MoveRow(*model, rows.first().row(), step);
    if (target >= 0) {
        view->selectionModel()->setCurrentIndex(model->index(target, 0), QItemSelectionModel::ClearAndSelect |
                                                                             QItemSelectionModel::Rows);
        view->setFocus();
    }
    view->setUpdatesEnabled(true);
    return target;
}

void SkinSurface::stopIfLoaded(MediaKind kind) {
    if (Player *p = w_.playback().player(kind); p && p->loaded())
        w_.playback().stop(*p);
}

void SkinSurface::switchToRadio() {
    stopIfLoaded(MediaKind::CdTrack);
    w_.library().SaveLibraryTree();
    w_.ShowRadioPage();
    w_.catalogue().audioInfo->setEnabled(false);
    if (QStandardItem *node = tree::FindNodeByText(w_.catalogue().tv, QStringLiteral("Radio Stations"))) {
        w_.tv->setFocus();
        w_.catalogue().selectNode(node);
        w_.catalogue().ShowCatalogueNode();
    }
}

void SkinSurface::switchToLocal() {
    w_.panel_radio->hide();
    stopIfLoaded(MediaKind::CdTrack);
    w_.catalogue().SaveCatalogueTree();
    w_.ShowLocalPage();
    w_.libraryEntries().OpenLibraryPage();
    w_.updateLibraryHint();
}

void SkinSurface::switchToRip() {
    w_.panel_radio->hide();
    stopIfLoaded(MediaKind::File);
    w_.ShowRipPage();
    if (!w_.playback().loaded(MediaKind::CdTrack) && openCdDrive)
        openCdDrive();
}

void SkinSurface::SkinClick(const SkinObject &source) {
    const QString name = source.GetName();
    const ShownPage &s = w_.shownPage();
    const bool busy = w_.converting() || w_.ripping();
    StreamPlayer &player = w_.player();
    StationCatalogue &catalogue = w_.catalogue();

    if (name == QLatin1String("file")) {
        popup(w_.p_1, source);
    } else if (name == QLatin1String("tools")) {
        popup(s.radio() ? w_.p_lv : s.rip() ? w_.p_lvcd : w_.P_lv2, source);
    } else if (name == QLatin1String("settings")) {
        popup(w_.p_set, source);
    } else if (name == QLatin1String("radio")) {
        switchToRadio();
    } else if (name == QLatin1String("local")) {
        switchToLocal();
    } else if (name == QLatin1String("rip")) {
        switchToRip();
    } else if (name == QLatin1String("options")) {
        w_.ShowCentredDialog(w_.fm_setting);
    } else if (name == QLatin1String("help")) {
        w_.ShowAbout();
    } else if (name == QLatin1String("btnplay")) {
        // The rip page's CD plays whatever else runs.
        if (busy && !s.rip())
            return;
        if (Player *shown = w_.playback().shown())
            w_.playback().playPause(*shown);
    } else if (name == QLatin1String("btnstop")) {
        if (!busy)
            stopButton();
    } else if (name == QLatin1String("btnrec")) {
        // The button toggles: a second click ends the recording, the station plays on.
        if (w_.recorder().StopRecordingIfRunning())
            return;
        if (w_.playback().loaded(MediaKind::File) || busy)
            return;
        if (startRecording)
            startRecording();
    } else if (name == QLatin1String("btnpre") || name == QLatin1String("btnnext")) {
        if (!busy)
            stepButton(name == QLatin1String("btnnext"));
    } else if (name == QLatin1String("search")) {
        if (w_.pan_search->isVisible())
            w_.pan_search->hide();
        else if (!s.rip())
            w_.pan_search->show();
    } else if (name == QLatin1String("add")) {
        if (s.radio())
            w_.panel_radio->show();
        else if (!s.rip())
            w_.libraryEntries().AddFiles();
        else if (!busy && w_.ripper())
            Application::guarded([this] { w_.ripper()->ChooseDiscImage(); });
    } else if (name == QLatin1String("remove")) {
        if (s.radio()) {
            if (catalogue.DelformFavorites1->isEnabled() && catalogue.LV.rowCount() > 0) {
                catalogue.RemoveFavorites();
                catalogue.ShowCatalogueNode();
            }
        } else if (!s.rip()) {
            w_.libraryEntries().DeleteEntries();
        }
    } else if (name == QLatin1String("up") || name == QLatin1String("down")) {
        if (!s.rip())
            MoveSelectedRow(s.radio() ? w_.LV : w_.lv2, name == QLatin1String("up") ? -1 : 1);
    } else if (name == QLatin1String("vj")) {
        player.VolumeStep(-5);
    } else if (name == QLatin1String("vjj")) {
        player.VolumeStep(5);
    } else if (name == QLatin1String("minimize")) {
        w_.ApplicationMinimize();
    } else if (name == QLatin1String("close")) {
        w_.close();
    }
}

void SkinSurface::stopButton() {
    PlaybackCoordinator &playback = w_.playback();
    Player &station = *playback.player(MediaKind::Station);
    // The station's stop ends a running recording first.
    if (w_.shownPage().rip()) {
        // While a CD track is recorded the track plays on; the recording and a station end.
        if (!w_.recorder().recording())
            stopIfLoaded(MediaKind::CdTrack);
        playback.stop(station);
        playback.stop(station);
        return;
    }
    stopIfLoaded(MediaKind::File);
    playback.stop(station);
}

void SkinSurface::stepButton(bool next) {
    PlaybackCoordinator &playback = w_.playback();
    // The page's list steps: the CD's with a row chosen, the stations, the library's with a row chosen.
    Player *p = nullptr;
    if (w_.shownPage().rip())
        p = cdRowSelected && cdRowSelected() ? playback.player(MediaKind::CdTrack) : nullptr;
    else if (w_.shownPage().radio())
        p = playback.player(MediaKind::Station);
    else if (w_.library().selectedRow() >= 0)
        p = playback.player(MediaKind::File);
    if (p)
        next ? playback.next(*p) : playback.previous(*p);
}

void SkinSurface::SkinMouseDown(const SkinObject &source, Qt::MouseButton, int, int) {
    if (source.GetName() != QLatin1String("bar"))
        return;
    if (w_.shownPage().rip()) {
        if (w_.cdPlayer())
            w_.cdPlayer()->BeginSeek();
    } else if (beginSeek) {
        beginSeek();
    }
}

void SkinSurface::SkinMouseUp(const SkinObject &source, Qt::MouseButton, int x, int) {
    if (source.GetName() != QLatin1String("bar"))
        return;
    if (w_.shownPage().rip()) {
        if (cdSeek)
            cdSeek(x);
    } else if (endSeek) {
        endSeek();
    }
}

void SkinSurface::SkinScrollTrack(const SkinObject &source, int newPos) {
    if (source.GetName() == QLatin1String("barv"))
        w_.player().VolumeTrack(newPos);
}

} // namespace varnelo
