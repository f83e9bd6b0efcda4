#pragma once
#include <QString>

namespace varnelo {

// What is left of the window's state shared with the subsystems through a
// reference: the page shown and the lists' current rows, which the radio and
// library lists both follow. GUI thread only. What plays is the playback
// coordinator's, recording the recorder's, converting the converter's, ripping
// the ripper's, the option choices the options dialog's.
struct AppState {
    // Application shell
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
