#pragma once
#include <QDateTime>
#include <QString>

namespace varnelo {

enum class MediaKind;

// The tray tip field holds at most 63 characters.
constexpr int TrayTipLimit = 63;

// The tip shown while the window sits in the tray: "Now" and the date and time,
// or what plays ("Now play" and the title, file or CD track; the last that
// applies wins). The colon is the full-width U+FF1A.
QString MinimizedTip(MediaKind playing, const QDateTime &now, const QString &stationTitle,
                     const QString &localFile, const QString &cdTrackName);

// The tip while the window is shown: "Varnelo", and the stream title on a
// second line while a station plays one.
QString ShownTip(const QString &stationTitle);

// Shortens a tip to the limit, ending in an ellipsis when cut.
QString FitTrayTip(const QString &tip);

} // namespace varnelo
