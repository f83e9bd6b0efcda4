#include "Media.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>

namespace varnelo::test {

int run(const QString &program, const QStringList &args, QString *out, QString *err) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return -1;
    p.closeWriteChannel();
    if (!p.waitForFinished(300000))
        return -1;
    if (out)
        *out = QString::fromUtf8(p.readAllStandardOutput());
    if (err)
        *err = QString::fromUtf8(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

QString makeTone(const QString &path, double hz, double seconds, int rate, int channels,
                 const QStringList &extraArgs) {
    QStringList args{QStringLiteral("-n"), QStringLiteral("-r"), QString::number(rate), QStringLiteral("-c"),
                     QString::number(channels)};
    args << extraArgs << path << QStringLiteral("synth") << QString::number(seconds) << QStringLiteral("sine")
         << QString::number(hz) << QStringLiteral("vol") << QStringLiteral("0.5");
    return run(QStringLiteral("sox"), args) == 0 ? path : QString();
}

Probe probe(const QString &path) {
    QString out;
    Probe p;
    if (run(QStringLiteral("ffprobe"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
             QStringLiteral("a:0"), QStringLiteral("-show_entries"),
             QStringLiteral(
                 "stream=codec_name,sample_rate,channels,bit_rate,bits_per_sample:format=duration,bit_rate:"
                 "format_tags=title,artist,album,genre:stream_tags=title,artist,album,genre"),
             QStringLiteral("-of"), QStringLiteral("default=noprint_wrappers=1"), path},
            &out) != 0)
        return p;
    qint64 formatRate = 0;
    for (const QString &line : out.split(QLatin1Char('\n'))) {
        const QString key = line.section(QLatin1Char('='), 0, 0);
        const QString value = line.section(QLatin1Char('='), 1);
        if (key == QLatin1String("codec_name"))
            p.codec = value;
        else if (key == QLatin1String("sample_rate"))
            p.sampleRate = value.toInt();
        else if (key == QLatin1String("channels"))
            p.channels = value.toInt();
        else if (key == QLatin1String("bit_rate") && p.bitRate == 0)
            p.bitRate = value.toLongLong();
        else if (key == QLatin1String("bit_rate"))
            formatRate = value.toLongLong();
        else if (key == QLatin1String("bits_per_sample"))
            p.bitsPerSample = value.toInt();
        else if (key == QLatin1String("duration"))
            p.duration = value.toDouble();
        else if (key.compare(QLatin1String("TAG:title"), Qt::CaseInsensitive) == 0)
            p.title = value;
        else if (key.compare(QLatin1String("TAG:artist"), Qt::CaseInsensitive) == 0)
            p.artist = value;
        else if (key.compare(QLatin1String("TAG:album"), Qt::CaseInsensitive) == 0)
            p.album = value;
        else if (key.compare(QLatin1String("TAG:genre"), Qt::CaseInsensitive) == 0)
            p.genre = value;
    }
    if (p.bitRate == 0)
        p.bitRate = formatRate;
    p.ok = !p.codec.isEmpty();
    return p;
}

double measuredFrequency(const QString &path) {
    QTemporaryDir dir;
    const QString wav = dir.filePath(QStringLiteral("decoded.wav"));
    if (run(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"),
                                       path, QStringLiteral("-c:a"), QStringLiteral("pcm_s16le"), wav}) != 0)
        return 0;
    QString out, err;
    // stat's zero-crossing count is only meaningful on one channel.
    run(QStringLiteral("sox"),
        {wav, QStringLiteral("-n"), QStringLiteral("remix"), QStringLiteral("1"), QStringLiteral("stat")},
        &out, &err);
    const auto m = QRegularExpression(QStringLiteral("Rough\\s+frequency:\\s+(\\d+)")).match(err);
    return m.hasMatch() ? m.captured(1).toDouble() : 0;
}

VorbisIdent vorbisIdent(const QString &path) {
    VorbisIdent v;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return v;
    const QByteArray head = f.read(4096);
    const qsizetype at = head.indexOf(QByteArray("\x01vorbis", 7));
    if (at < 0 || at + 28 > head.size())
        return v;
    const auto *p = reinterpret_cast<const uchar *>(head.constData() + at + 7);
    v.channels = p[4];
    v.rate = qFromLittleEndian<qint32>(p + 5);
    v.maximum = qFromLittleEndian<qint32>(p + 9);
    v.nominal = qFromLittleEndian<qint32>(p + 13);
    v.minimum = qFromLittleEndian<qint32>(p + 17);
    v.ok = true;
    return v;
}

} // namespace varnelo::test
