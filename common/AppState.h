#pragma once
#include <QString>

namespace varnelo {

// What is left of the window's state shared with the subsystems through a
// reference: the page shown, the lists' current rows, the converter's and the
// ripper's busy flags and the option choices. GUI thread only. What plays is
// the playback coordinator's, recording the recorder's.
struct AppState {
    // Application shell
    bool OpenedFromCommandLine = false;
    bool RadioPage = false;
    bool RipPage = false;
    bool StationListActive = false;
    bool RecordingsListHidden = true;

    // Catalogue and lists
    int CurrentRow = 0;
    QString LastNodeText;

    // Local playback
    int PlayingIndex = -1;
    QString PlayingListText;
    bool NowPlayingValid = false;
};

} // namespace varnelo
