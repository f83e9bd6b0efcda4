#pragma once
#include <QString>

namespace varnelo {

// Where the library's lists stand, shared by the catalogue, its entries and
// the local player (GUI thread only).
struct LibrarySelection {
    // The track row acted on.
    int currentRow = 0;
    // The tree node the track list shows.
    QString lastNodeText;
    // The row that plays in the list it plays from, and that list's node.
    int playingIndex = -1;
    QString playingListText;
    // "Now Playing" holds the list that plays.
    bool nowPlayingValid = false;
};

} // namespace varnelo
