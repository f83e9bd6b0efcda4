#pragma once
#include "app/ClockTimer.h"

namespace varnelo {

class MainWindow;

// The clock's view of the main window: the options' live controls, the saved
// shutdown switch, and the window's operations.
class WindowClockHost final : public ClockHost {
public:
    explicit WindowClockHost(MainWindow &window) : w_(window) {}
    bool shutdownOn() override;
    QTime shutdownTime() override;
    int scheduleMode() override;
    ScheduleSlotTimes scheduleSlot(int slot) override;
    QDate scheduleDay() override;
    bool recording() override;
    bool convertingOrRipping() override;
    void showStationTime() override;
    void startRecording() override;
    void stopRadioOrRecording() override;
    void stopPlayback() override;
    void powerOff() override;

private:
    MainWindow &w_;
};

} // namespace varnelo
