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
    LV_R->setVisible(!state.RecordingsListHidden);
    tv2->hide();
    lv2->hide();
    lv_cd->hide();
    state.RadioPage = true;
    state.RipPage = false;
    surface_->MarkPage();
}

void MainWindow::ShowRipPage() {
    showPageStrip(Page::Rip);
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
    showPageStrip(Page::Library);
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

void MainWindow::ShowStationInfo() {
    if (catalogue_->LV.rowCount() == 0)
        return;
    stationInfo_->Navigate(panel_radio->url->text());
    ShowCentredDialog(stationInfo_);
}

void MainWindow::ToggleRecordingsList() {
    state.RecordingsListHidden = !state.RecordingsListHidden;
    LV_R->setVisible(!state.RecordingsListHidden && state.RadioPage);
    LV->resize(LV->width(),
               state.RecordingsListHidden ? LV->height() + LV_R->height() : LV->height() - LV_R->height());
}

} // namespace varnelo
