#include "app/MainWindow.h"

#include "platform/skin/Skin.h"
#include "radio/StreamPlayer.h"

namespace varnelo {

void MainWindow::Timer1Timer() {
    // The transport buttons show what plays (the skin's pause and recording looks).
    skin->SetSelected(QStringLiteral("btnplay"), (state.StationPlaying && !state.StationPaused) ||
                                                     (state.LocalPlaying && !state.Paused));
    skin->SetSelected(QStringLiteral("btnrec"), state.Recording);
    // The station's elapsed time; the schedule and power-off come with their subsystems.
    if (state.StationPlaying && state.StationPaused)
        return;
    player_->ClockTick();
}

} // namespace varnelo
