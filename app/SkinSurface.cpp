#include "app/SkinSurface.h"

#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/SkinLook.h"
#include "common/RowMove.h"
#include "common/TreeText.h"
#include "library/LibraryCatalogue.h"
#include "library/LibraryEntries.h"
#include "radio/SearchPanel.h"
#include "radio/StationCatalogue.h"
#include "radio/StationPanel.h"
#include "radio/StreamPlayer.h"

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
    w_.setFixedSize(skin->size());
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
    const AppState &s = w_.state;
    w_.skin->SetSelected(QStringLiteral("radio"), s.RadioPage);
    w_.skin->SetSelected(QStringLiteral("rip"), s.RipPage);
    w_.skin->SetSelected(QStringLiteral("local"), !s.RadioPage && !s.RipPage);
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

void SkinSurface::switchToRadio() {
    if (w_.state.CdPlaying && w_.stopCdPlayback)
        w_.stopCdPlayback();
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
    if (w_.state.CdPlaying && w_.stopCdPlayback)
        w_.stopCdPlayback();
    w_.state.StartOffset = 0;
    w_.catalogue().SaveCatalogueTree();
    w_.ShowLocalPage();
    w_.libraryEntries().OpenLibraryPage();
}

void SkinSurface::switchToRip() {
    w_.panel_radio->hide();
    if (w_.state.LocalPlaying && w_.stopLocalPlayback)
        w_.stopLocalPlayback();
    w_.ShowRipPage();
}

void SkinSurface::SkinClick(const SkinObject &source) {
    const QString name = source.GetName();
    AppState &s = w_.state;
    const bool busy = s.Converting || s.Ripping;
    StreamPlayer &player = w_.player();
    StationCatalogue &catalogue = w_.catalogue();

    if (name == QLatin1String("file")) {
        popup(w_.p_1, source);
    } else if (name == QLatin1String("tools")) {
        popup(s.RadioPage ? w_.p_lv : s.RipPage ? w_.p_lvcd : w_.P_lv2, source);
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
        if (s.RipPage || busy)
            return;
        if (s.RadioPage && s.StationListActive) {
            if (s.LocalPlaying && w_.stopLocalPlayback)
                w_.stopLocalPlayback();
            player.PlayPauseStation();
        } else if (localPlayPause) {
            localPlayPause();
        }
    } else if (name == QLatin1String("btnstop")) {
        if (busy)
            return;
        if (s.LocalPlaying && w_.stopLocalPlayback)
            w_.stopLocalPlayback();
        player.StopRadioOrRecording();
        if (s.RipPage)
            player.StopRadioOrRecording();
    } else if (name == QLatin1String("btnpre") || name == QLatin1String("btnnext")) {
        if (busy || s.RipPage)
            return;
        const bool next = name == QLatin1String("btnnext");
        if (s.RadioPage)
            next ? player.NextStation() : player.PreviousStation();
        else if (w_.library().selectedRow() >= 0)
            next ? (localNext ? localNext() : void()) : (localPrevious ? localPrevious() : void());
    } else if (name == QLatin1String("search")) {
        if (w_.pan_search->isVisible())
            w_.pan_search->hide();
        else if (!s.RipPage)
            w_.pan_search->show();
    } else if (name == QLatin1String("add")) {
        if (s.RadioPage)
            w_.panel_radio->show();
        else if (!s.RipPage)
            w_.libraryEntries().AddFiles();
    } else if (name == QLatin1String("remove")) {
        if (s.RadioPage) {
            if (catalogue.DelformFavorites1->isEnabled() && catalogue.LV.rowCount() > 0) {
                catalogue.RemoveFavorites();
                catalogue.ShowCatalogueNode();
            }
        } else if (!s.RipPage) {
            w_.libraryEntries().DeleteEntries();
        }
    } else if (name == QLatin1String("up") || name == QLatin1String("down")) {
        if (!s.RipPage)
            MoveSelectedRow(s.RadioPage ? w_.LV : w_.lv2, name == QLatin1String("up") ? -1 : 1);
    } else if (name == QLatin1String("vj")) {
        player.VolumeStep(-1);
    } else if (name == QLatin1String("vjj")) {
        player.VolumeStep(1);
    } else if (name == QLatin1String("minimize")) {
        w_.ApplicationMinimize();
    } else if (name == QLatin1String("close")) {
        w_.close();
    }
}

void SkinSurface::SkinMouseDown(const SkinObject &source, Qt::MouseButton, int, int) {
    if (source.GetName() != QLatin1String("bar"))
        return;
    if (w_.state.RipPage)
        w_.state.CdSeeking = true;
    else if (w_.state.LocalPlaying && beginSeek)
        beginSeek();
}

void SkinSurface::SkinMouseUp(const SkinObject &source, Qt::MouseButton, int, int) {
    if (source.GetName() != QLatin1String("bar"))
        return;
    if (w_.state.RipPage)
        w_.state.CdSeeking = false; // seeking on a CD comes with the CD player
    else if (endSeek)
        endSeek();
}

void SkinSurface::SkinScrollTrack(const SkinObject &source, int newPos) {
    if (source.GetName() == QLatin1String("barv"))
        w_.player().VolumeTrack(newPos);
}

} // namespace varnelo
