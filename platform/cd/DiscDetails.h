#pragma once
#include "platform/cd/DiscSheet.h"

#include <QString>
#include <vector>

namespace varnelo::cd {

// What a disc says beyond its table of contents: the catalog number and per
// track the ISRC, the start of INDEX 00 and later indexes. A drive is asked
// through libcdio (many drives report no pregaps: then none are known); an
// image gives what its sheet holds.
struct DiscDetails {
    QString catalog;
    std::vector<SheetTrackInfo> tracks; // beside DiscToc::tracks; empty when nothing is known
    const SheetTrackInfo *track(std::size_t index) const {
        return index < tracks.size() ? &tracks[index] : nullptr;
    }
};

// Never throws; a disc that cannot be asked gives empty details.
DiscDetails readDiscDetails(const QString &device, const DiscToc &toc);

} // namespace varnelo::cd
