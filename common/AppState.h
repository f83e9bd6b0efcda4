#pragma once
#include <QDateTime>
#include <QString>
#include <atomic>
#include <cstdint>

namespace varnelo {

// Program-wide state: single values owned by the main window, shared by the
// subsystems through a reference. Touched on the GUI thread only; the connect
// worker and stream callbacks post their changes to the GUI thread.
struct AppState {
    // Application shell
    bool WindowShown = true;
    bool StartupDone = false;
    bool OpenedFromCommandLine = false;
    bool RadioPage = false;
    bool RipPage = false;
    bool StationListActive = false;
    bool RecordingsListHidden = true;

    // Catalogue and lists
    int CurrentRow = 0;
    QString LastNodeText;

    // Stream player

    // Recording
    bool Recording = false;
    QString RecordFile;
    QString RecordTime;
    int BlockSamples = 0;

    // Local playback
    int PlayingIndex = -1;
    QString PlayingListText;
    bool NowPlayingValid = false;

    // Converter and ripper
    bool Converting = false;
    bool Ripping = false;
    bool Grabbing = false;
    int RipFormat = 0;

    // Option dialog radio-button choices
    int ScheduleMode = 0;
    int GrabMode = 0;
    int ErrorAction = 0;

    // Folder browser
    bool RescanMode = false;
};

} // namespace varnelo
