#pragma once
#include "platform/cd/DiscToc.h"

#include <QString>
#include <atomic>

namespace varnelo::cd {

// Peak at or below which a pregap counts as silence (about -60 dBFS): dither
// and the faint hiss of a master are not a track.
constexpr int HiddenTrackThreshold = 32;

// Audio before track 1 (in its pregap, when track 1 starts after LBA 0) is a
// hidden track when any sample of it rises above the threshold. Returns the
// sectors of that pregap, 0 when there is none or it is silence, or when the
// drive cannot read it (`error` says why). Reads only as far as the first
// sound; `abort` stops it.
qint32 hiddenTrackSectors(const QString &device, const DiscToc &toc, QString &error,
                          const std::atomic<bool> *abort = nullptr);

} // namespace varnelo::cd
