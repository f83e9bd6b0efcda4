#include "app/MainWindow.h"

#include "app/Application.h"
#include "app/ClockTimer.h"
#include "app/WindowClockHost.h"
#include "common/Seams.h"
#include "common/SettingsKeys.h"
#include "library/LocalPlayer.h"
#include "options/OptionsDialog.h"
#include "platform/skin/Skin.h"
#include "radio/Recorder.h"
#include "radio/StreamPlayer.h"

namespace varnelo {

void MainWindow::Timer1Timer() {
    // The transport buttons show what plays (the skin's pause and recording looks).
    skin->SetSelected(QStringLiteral("btnrec"), recorder_->recording());
    clockTimer_->Timer1Timer();
}

void MainWindow::PowerOffNow() {
    // The saving the shutdown does, and a recording that runs ends complete and tagged.
    Application::guarded([this] { recorder_->StopRecordingIfRunning(); });
    Application::guarded([this] { SaveTrees(); });
    localPlayer_->StopPlayback();
    if (!shell_.powerOff())
        prompts_.message(QStringLiteral("The computer could not be switched off at the set time."),
                         dialogCaption(), PromptIcon::Information, PromptButtons::Ok);
}

void MainWindow::StartPowerOffCountdown() {
    if (!powerOffCountdown_) {
        powerOffCountdown_ = new PowerOffCountdown(clock_, this);
        connect(powerOffCountdown_, &PowerOffCountdown::powerOffNow, this, &MainWindow::PowerOffNow);
    }
    powerOffCountdown_->start();
    ShowCentredDialog(powerOffCountdown_);
    if (notifyNotice)
        notifyNotice(QStringLiteral("Power-off in %1 s").arg(PowerOffCountdown::Seconds),
                     QStringLiteral("The computer powers off as set in the options. Cancel it in the "
                                    "window's warning."));
}

bool WindowClockHost::shutdownOn() {
    // As saved by the options' OK: a ticked but unsaved box does nothing yet.
    return keys::read(w_.settings, keys::ShutdownOn);
}

QTime WindowClockHost::shutdownTime() {
    return w_.options() ? w_.options()->shutdownTime() : QTime();
}

int WindowClockHost::scheduleMode() {
    return w_.options() ? w_.options()->scheduleMode() : 0;
}

ScheduleSlotTimes WindowClockHost::scheduleSlot(int slot) {
    if (!w_.options())
        return {};
    const OptionsDialog::ScheduleSlot s = w_.options()->scheduleSlot(slot);
    return {s.on, s.begin, s.end};
}

QDate WindowClockHost::scheduleDay() {
    return w_.options() ? w_.options()->scheduleDate() : QDate();
}

bool WindowClockHost::recording() {
    return w_.recorder().recording();
}

bool WindowClockHost::convertingOrRipping() {
    return w_.converting() || w_.ripping();
}

void WindowClockHost::showStationTime() {
    w_.player().ClockTick();
}

void WindowClockHost::startRecording() {
    Application::guarded([this] { w_.RecordWhatPlays(true); });
}

void WindowClockHost::stopRadioOrRecording() {
    Application::guarded([this] { w_.player().StopRadioOrRecording(); });
}

void WindowClockHost::stopPlayback() {
    w_.localPlayer().StopPlayback();
}

void WindowClockHost::powerOff() {
    w_.StartPowerOffCountdown();
}

} // namespace varnelo
