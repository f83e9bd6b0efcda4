#include "app/TrayTip.h"

#include "common/Player.h"

#include <QFileInfo>
#include <QLocale>

namespace varnelo {

QString MinimizedTip(MediaKind playing, const QDateTime &now, const QString &stationTitle,
                     const QString &localFile, const QString &cdTrackName) {
    const QChar colon(0xFF1A);
    QString tip = QStringLiteral("Now") + colon + QLocale().toString(now, QLocale::ShortFormat);
    if (playing == MediaKind::Station)
        tip = QStringLiteral("Now play") + colon + stationTitle;
    if (playing == MediaKind::File)
        tip = QStringLiteral("Now play") + colon + QFileInfo(localFile).fileName();
    if (playing == MediaKind::CdTrack)
        tip = QStringLiteral("Now play") + colon + cdTrackName;
    return FitTrayTip(tip);
}

QString ShownTip(const QString &stationTitle) {
    if (stationTitle.isEmpty())
        return QStringLiteral("Varnelo");
    return FitTrayTip(QStringLiteral("Varnelo\nNow play") + QChar(0xFF1A) + stationTitle);
}

QString FitTrayTip(const QString &tip) {
    if (tip.size() <= TrayTipLimit)
        return tip;
    return tip.left(TrayTipLimit - 1) + QChar(0x2026);
}

} // namespace varnelo
