#include "rip/RipLog.h"

#include "convert/EncoderSetup.h"
#include "platform/cd/DiscToc.h"

#include <QSaveFile>

namespace varnelo {

namespace {

QString readModeText(int mode) {
    switch (mode) {
    case 0:
        return QStringLiteral("Burst (no verification)");
    case 1:
        return QStringLiteral("Synch (jitter correction)");
    case 2:
        return QStringLiteral("Secure (every sector verified)");
    case 3:
        return QStringLiteral("Paranoid (verified in small reads)");
    default:
        return QStringLiteral("mode %1").arg(mode);
    }
}

QString actionText(int action) {
    switch (action) {
    case 0:
        return QStringLiteral("stop");
    case 1:
        return QStringLiteral("silence");
    case 2:
        return QStringLiteral("cut");
    default:
        return QString::number(action);
    }
}

QString hex8(quint32 v) {
    return QStringLiteral("%1").arg(v, 8, 16, QLatin1Char('0')).toUpper();
}

QString line(const QString &label, const QString &value) {
    return QStringLiteral("%1 %2\n").arg(label + QLatin1Char(':'), -16).arg(value);
}

} // namespace

QString RipLog::fileName() const {
    QString name = CleanFileName(artist + QStringLiteral(" - ") + album).trimmed();
    if (name.isEmpty() || name.count(QLatin1Char('.')) == name.size())
        name = QStringLiteral("rip");
    return name.left(200) + QStringLiteral(".log");
}

QString RipLog::text() const {
    QString t = QStringLiteral("Varnelo V1.00 rip log, %1\n\n")
                    .arg(when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    t += line(QStringLiteral("Drive"), drive);
    t += line(QStringLiteral("Read mode"), readModeText(grabMode));
    t += line(QStringLiteral("Read offset"), QStringLiteral("%1%2 samples")
                                                 .arg(readOffset >= 0 ? QStringLiteral("+") : QString())
                                                 .arg(readOffset));
    t += line(QStringLiteral("Overread"), overread
                                              ? QStringLiteral("yes (the lead-out where the drive gives it)")
                                              : QStringLiteral("no (silence past the disc's end)"));
    t += line(QStringLiteral("Test and copy"),
              secure ? QStringLiteral("yes (every track read twice)") : QStringLiteral("no"));
    t += line(QStringLiteral("Retries"),
              QStringLiteral("%1 (%2 reads of a bad sector)").arg(retries).arg(5 * retries));
    t += line(QStringLiteral("Unreadable"),
              QStringLiteral("sectors that stay unreadable: %1").arg(actionText(errorAction)));
    t += line(QStringLiteral("Format"), format);
    t += line(
        QStringLiteral("Album"),
        artist + QStringLiteral(" / ") + album +
            (albumSource.isEmpty() ? QString() : QStringLiteral("  (") + albumSource + QLatin1Char(')')));
    t += line(QStringLiteral("CDDB disc id"), cddbId);
    t += line(QStringLiteral("MusicBrainz id"), musicBrainzId);
    t += line(QStringLiteral("AccurateRip"), accurateRipPath + QStringLiteral("  ") + accurateRipState);
    int ripped = 0, accurate = 0, damaged = 0;
    for (const RipLogTrack &track : tracks) {
        const cd::GrabResult &r = track.result;
        t += QStringLiteral("\nTrack %1  %2\n").arg(track.number, 2, 10, QLatin1Char('0')).arg(track.title);
        t += line(QStringLiteral("  Artist"), track.artist);
        t += line(QStringLiteral("  File"), track.path);
        t += line(QStringLiteral("  Length"),
                  cd::sectorTimeText(track.sectors) + QStringLiteral(" (%1 sectors)").arg(track.sectors));
        if (track.number == 0)
            t += line(QStringLiteral("  Hidden track"), QStringLiteral("sound in the pregap of track 1"));
        if (track.preEmphasis)
            t += line(QStringLiteral("  Pre-emphasis"),
                      QStringLiteral("yes (kept as on the disc, not de-emphasised)"));
        if (!track.reached) {
            t += line(QStringLiteral("  Status"), QStringLiteral("not reached"));
            continue;
        }
        t += line(QStringLiteral("  Read errors"),
                  QStringLiteral("%1 (read again by paranoia)").arg(r.readErrors));
        if (r.uncorrected == 0) {
            t += line(QStringLiteral("  Uncorrected"), QStringLiteral("none"));
        } else {
            QStringList ranges;
            for (const auto &[first, last] : r.badRanges)
                ranges << (first == last
                               ? cd::sectorTimeText(first)
                               : cd::sectorTimeText(first) + QLatin1Char('-') + cd::sectorTimeText(last));
            t += line(QStringLiteral("  Uncorrected"),
                      QStringLiteral("%1 sectors at %2 (%3)")
                          .arg(r.uncorrected)
                          .arg(ranges.join(QStringLiteral(", ")), actionText(errorAction)));
            ++damaged;
        }
        if (r.status == cd::GrabResult::Status::Done) {
            ++ripped;
            t += line(QStringLiteral("  CRC32"), hex8(r.crc32));
            if (r.copy != cd::GrabResult::Copy::Single) {
                t += line(QStringLiteral("  Test CRC32"), hex8(r.testCrc32));
                QString copy = r.copy == cd::GrabResult::Copy::Ok ? QStringLiteral("Copy OK")
                                                                  : QStringLiteral("Copy and test differ");
                if (r.reReads > 0)
                    copy += QStringLiteral(" (read %1 more time(s) after the test differed)").arg(r.reReads);
                t += line(QStringLiteral("  Copy"), copy);
            }
            QString ar = track.accurateRip.text();
            if (ar.isEmpty())
                ar = QStringLiteral("not checked");
            if (track.accurateRip.kind == cd::AccurateRipVerdict::Kind::Accurate) {
                ar += QStringLiteral(", v%1").arg(track.accurateRip.version);
                ++accurate;
            }
            t += line(QStringLiteral("  AccurateRip"),
                      ar + QStringLiteral("  [v1 %1, v2 %2]").arg(hex8(r.arV1), hex8(r.arV2)));
        }
        QString status = track.status.trimmed();
        if (!r.error.isEmpty())
            status += QStringLiteral(": ") + r.error;
        t += line(QStringLiteral("  Status"), status);
    }
    t += QStringLiteral("\n%1 of %2 tracks ripped, %3 accurate, %4 with uncorrected read errors.\n")
             .arg(ripped)
             .arg(tracks.size())
             .arg(accurate)
             .arg(damaged);
    return t;
}

QString RipStatusText(const cd::GrabResult &result) {
    if (result.uncorrected > 0)
        return QStringLiteral("Read errors");
    switch (result.copy) {
    case cd::GrabResult::Copy::Ok:
        return QStringLiteral("Copy OK");
    case cd::GrabResult::Copy::Differ:
        return QStringLiteral("Copy and test differ");
    case cd::GrabResult::Copy::Single:
        break;
    }
    return QStringLiteral("Finished");
}

bool WriteRipLog(const QString &path, const QString &text, QString &error) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Text) || f.write(text.toUtf8()) < 0 || !f.commit()) {
        error = f.errorString();
        return false;
    }
    return true;
}

} // namespace varnelo
