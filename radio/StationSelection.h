#pragma once
#include <QString>

namespace varnelo {

// Where the radio page's lists stand, shared by the station list, the stream
// player and the recordings list (GUI thread only).
struct StationSelection {
    // The row acted on in the list last used (stations, search results or recordings).
    int currentRow = 0;
    // The stations list, not the recordings list, was used last.
    bool stationListActive = false;
    // The catalogue node the stations list shows.
    QString lastNodeText;
};

} // namespace varnelo
