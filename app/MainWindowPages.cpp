#include "app/MainWindow.h"

#include "app/SkinSurface.h"
#include "radio/StationCatalogue.h"
#include "radio/StationInfoWindow.h"
#include "radio/StationPanel.h"

#include <QLabel>
#include <QLineEdit>
#include <QTreeView>

namespace varnelo {

// The three pages and what covers the lists on them.

void MainWindow::showPageStrip(Page page) {
    if (page == stripPage_)
        return;
    strips_[int(stripPage_)] = {lab_state->text(), panel_state->isVisibleTo(this)};
    stripPage_ = page;
    const PageStrip &strip = strips_[int(page)];
    lab_state->setText(strip.text);
    panel_state->setVisible(strip.shown);
}

void MainWindow::ShowRadioPage() {
    showPageStrip(Page::Radio);
    tv->show();
    LV->show();
    LV_R->setVisible(!!shown_.recordingsListShown());
    tv2->hide();
    lv2->hide();
    lv_cd->hide();
    shown_.show(Page::Radio);
    surface_->MarkPage();
    ShowPlayingCover();
}

void MainWindow::ShowRipPage() {
    showPageStrip(Page::Rip);
    tv->hide();
    LV->hide();
    LV_R->hide();
    tv2->hide();
    lv2->hide();
    lv_cd->show();
    shown_.show(Page::Rip);
    surface_->MarkPage();
    ShowPlayingCover();
}

void MainWindow::ShowLocalPage() {
    showPageStrip(Page::Library);
    tv->hide();
    LV->hide();
    LV_R->hide();
    tv2->show();
    lv2->show();
    lv_cd->hide();
    shown_.show(Page::Library);
    surface_->MarkPage();
    ShowPlayingCover();
}

void MainWindow::ShowStationInfo() {
    if (catalogue_->LV.rowCount() == 0)
        return;
    stationInfo_->Navigate(panel_radio->url->text());
    ShowCentredDialog(stationInfo_);
}

void MainWindow::ToggleRecordingsList() {
    shown_.showRecordingsList(!shown_.recordingsListShown());
    LV_R->setVisible(!!shown_.recordingsListShown() && shown_.radio());
    LV->resize(LV->width(),
               !shown_.recordingsListShown() ? LV->height() + LV_R->height() : LV->height() - LV_R->height());
}

} // namespace varnelo
