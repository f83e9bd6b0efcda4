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
