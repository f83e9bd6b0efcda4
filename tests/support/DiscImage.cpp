#include "support/DiscImage.h"

#include "support/ChildProcess.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtEndian>
#include <cmath>

namespace varnelo::test {

namespace {

QString msf(int sectors) {
    return QStringLiteral("%1:%2:%3")
        .arg(sectors / 4500, 2, 10, QLatin1Char('0'))
        .arg(sectors / 75 % 60, 2, 10, QLatin1Char('0'))
        .arg(sectors % 75, 2, 10, QLatin1Char('0'));
}

} // namespace

QByteArray DiscImage::trackBytes(int i) const {
    return bytes.mid(qsizetype(starts[std::size_t(i)]) * 2352, qsizetype(sectors[std::size_t(i)]) * 2352);
}

QByteArray accurateRipRecord(const cd::AccurateRipIds &ids,
                             const std::vector<std::pair<int, quint32>> &tracks) {
    QByteArray bin(1, char(tracks.size()));
    const auto le32 = [&bin](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        bin.append(b, 4);
    };
    le32(ids.id1);
    le32(ids.id2);
    le32(ids.cddb);
    for (const auto &[confidence, crc] : tracks) {
        bin.append(char(confidence));
        le32(crc);
        le32(0);
    }
    return bin;
}

DiscImage writeDiscImage(const QString &folder, const QString &base, const ImageSpec &spec) {
    DiscImage image;
    quint32 noise = 0x12345678;
    const auto next = [&noise] {
        noise ^= noise << 13;
        noise ^= noise >> 17;
        noise ^= noise << 5;
        return int(noise % 97) - 48;
    };
    int at = 0;
    for (const ImageTrack &t : spec.tracks) {
        image.starts.push_back(at);
        image.sectors.push_back(t.sectors);
        at += t.sectors;
        const qsizetype frames = qsizetype(t.sectors) * 588;
        QByteArray pcm(frames * 4, Qt::Uninitialized);
        auto *out = reinterpret_cast<uchar *>(pcm.data());
        for (qsizetype n = 0; n < frames; ++n) {
            qint16 left, right;
            if (t.audio) {
                const double s = std::sin(2 * M_PI * t.hz * double(n) / 44100.0);
                left = qint16(std::lround(9000 * s) + next());
                right = qint16(std::lround(-7000 * s) + next());
            } else {
                left = qint16(next() * 600);
                right = qint16(next() * 600);
            }
            qToLittleEndian(left, out + 4 * n);
            qToLittleEndian(right, out + 4 * n + 2);
        }
        image.bytes += pcm;
    }
    const QString dataName = spec.dataName.isEmpty() ? base + QStringLiteral(".bin") : spec.dataName;
    image.data = QDir(folder).filePath(dataName);
    QFile data(image.data);
    data.open(QIODevice::WriteOnly);
    if (spec.toc) {
        // Raw samples of a table of contents are big-endian, as on the disc.
        QByteArray swapped = image.bytes;
        for (qsizetype i = 0; i + 1 < swapped.size(); i += 2)
            std::swap(swapped[i], swapped[i + 1]);
        data.write(swapped);
    } else {
        data.write(image.bytes);
    }
    data.close();

    QStringList lines;
    const auto quoted = [](const QString &s) { return QLatin1Char('"') + s + QLatin1Char('"'); };
    if (!spec.toc) {
        if (spec.cdText) {
            lines << QStringLiteral("PERFORMER ") + quoted(spec.performer)
                  << QStringLiteral("TITLE ") + quoted(spec.title);
        }
        lines << QStringLiteral("FILE %1 BINARY").arg(quoted(dataName));
        for (std::size_t i = 0; i < spec.tracks.size(); ++i) {
            const ImageTrack &t = spec.tracks[i];
            lines << QStringLiteral("  TRACK %1 %2")
                         .arg(i + 1, 2, 10, QLatin1Char('0'))
                         .arg(t.audio ? QStringLiteral("AUDIO") : QStringLiteral("MODE1/2352"));
            if (spec.cdText && t.audio) {
                lines << QStringLiteral("    TITLE ") + quoted(t.title);
                lines << QStringLiteral("    PERFORMER ") + quoted(t.performer);
            }
            lines << QStringLiteral("    INDEX 01 ") + msf(image.starts[i]);
        }
        image.sheet = QDir(folder).filePath(base + QStringLiteral(".cue"));
    } else {
        lines << QStringLiteral("CD_DA") << QString();
        if (spec.cdText) {
            lines << QStringLiteral("CD_TEXT {");
            if (spec.languageMap)
                lines << QStringLiteral("  LANGUAGE_MAP {") << QStringLiteral("    0 : EN")
                      << QStringLiteral("  }");
            lines << QStringLiteral("  LANGUAGE 0 {") << QStringLiteral("    TITLE ") + quoted(spec.title)
                  << QStringLiteral("    PERFORMER ") + quoted(spec.performer) << QStringLiteral("  }")
                  << QStringLiteral("}") << QString();
        }
        for (std::size_t i = 0; i < spec.tracks.size(); ++i) {
            const ImageTrack &t = spec.tracks[i];
            lines << QStringLiteral("TRACK AUDIO");
            if (spec.cdText)
                lines << QStringLiteral("CD_TEXT {") << QStringLiteral("  LANGUAGE 0 {")
                      << QStringLiteral("    TITLE ") + quoted(t.title)
                      << QStringLiteral("    PERFORMER ") + quoted(t.performer) << QStringLiteral("  }")
                      << QStringLiteral("}");
            lines
                << QStringLiteral("FILE %1 %2 %3").arg(quoted(dataName), msf(image.starts[i]), msf(t.sectors))
                << QString();
        }
        image.sheet = QDir(folder).filePath(base + QStringLiteral(".toc"));
    }
    QFile sheet(image.sheet);
    sheet.open(QIODevice::WriteOnly);
    sheet.write(lines.join(QLatin1Char('\n')).toUtf8() + '\n');
    return image;
}

ImageSpec highVoltage(bool cdText) {
    ImageSpec spec;
    spec.tracks = {{440, 75 * 3 + 17, true, QStringLiteral("T.N.T."), QStringLiteral("AC/DC")},
                   {660, 75 * 2 + 1, true, QStringLiteral("Rock 'n' Roll Singer"), QStringLiteral("AC/DC")},
                   {880, 75 * 4 + 74, true, QStringLiteral("The Jack"), QStringLiteral("AC/DC")}};
    spec.cdText = cdText;
    spec.title = QStringLiteral("High Voltage");
    spec.performer = QStringLiteral("AC/DC");
    return spec;
}

QByteArray wavData(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = f.readAll();
    // Walk the chunks to "data".
    if (all.size() < 12 || !all.startsWith("RIFF") || all.mid(8, 4) != "WAVE")
        return {};
    qsizetype at = 12;
    while (at + 8 <= all.size()) {
        const QByteArray id = all.mid(at, 4);
        const quint32 size = qFromLittleEndian<quint32>(all.constData() + at + 4);
        if (id == "data")
            return all.mid(at + 8, qsizetype(size));
        at += 8 + qsizetype(size) + (size & 1);
    }
    return {};
}

int runProgram(const QString &program, const QStringList &args, QByteArray *out, QByteArray *err,
               int timeoutMs) {
    ChildProcess p;
    if (!p.start(program, args))
        return -1;
    if (!p.waitForFinished(timeoutMs))
        return -1;
    if (out)
        *out = p.standardOutput();
    if (err)
        *err = p.standardError();
    return p.exitedNormally() ? p.exitCode() : -1;
}

double decodedFrequency(const QString &path, double *seconds) {
    QByteArray pcm;
    if (runProgram(QStringLiteral("ffmpeg"),
                   {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
                    QStringLiteral("-f"), QStringLiteral("s16le"), QStringLiteral("-ac"), QStringLiteral("2"),
                    QStringLiteral("-ar"), QStringLiteral("44100"), QStringLiteral("-")},
                   &pcm) != 0)
        return 0;
    const auto *s = reinterpret_cast<const qint16 *>(pcm.constData());
    const qsizetype frames = pcm.size() / 4;
    if (seconds)
        *seconds = double(frames) / 44100.0;
    // Upward zero crossings of the left channel, away from the edges.
    int crossings = 0;
    double first = -1, last = -1;
    for (qsizetype i = frames / 10 + 1; i < frames - frames / 10; ++i) {
        const double a = s[2 * (i - 1)], b = s[2 * i];
        if (a < -200 && b >= -200) {
            // hysteresis below the noise: one crossing per period
            const double x = double(i - 1) + (-200 - a) / (b - a);
            if (first < 0)
                first = x;
            else if (x - last < 20)
                continue;
            last = x;
            ++crossings;
        }
    }
    return crossings < 2 ? 0 : (crossings - 1) * 44100.0 / (last - first);
}

} // namespace varnelo::test
