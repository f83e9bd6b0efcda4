#include "Fixtures.h"

#include <QProcess>
#include <cstring>

namespace varnelo::test {

int runTool(const QString &program, const QStringList &args, QString *output) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(120000))
        return -1;
    if (output)
        *output = QString::fromUtf8(p.readAll());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

QString makeTone(const QTemporaryDir &dir, const QString &name, double hz, double seconds, int rate,
                 int channels, const QStringList &codecArgs) {
    const QString path = dir.filePath(name);
    QStringList args{
        QStringLiteral("-v"),
        QStringLiteral("error"),
        QStringLiteral("-y"),
        QStringLiteral("-f"),
        QStringLiteral("lavfi"),
        QStringLiteral("-i"),
        QStringLiteral("sine=frequency=%1:sample_rate=%2:duration=%3").arg(hz).arg(rate).arg(seconds),
        QStringLiteral("-af"),
        QStringLiteral("volume=4"),
        QStringLiteral("-ac"),
        QString::number(channels)};
    args << codecArgs << path;
    QString out;
    if (runTool(QStringLiteral("ffmpeg"), args, &out) != 0)
        return {};
    return path;
}

SampleBlock readAll(AudioFile &file, qint64 chunk) {
    SampleBlock all;
    for (;;) {
        const SampleBlock block = file.ReadSamples(chunk);
        if (block.empty())
            break;
        all.insert(all.end(), block.begin(), block.end());
    }
    return all;
}

double toneFrequency(const SampleBlock &interleaved, int channels, int channel, int rate) {
    // Upward crossings of zero after dipping below -5 % full scale, over the
    // middle 80 %: codec noise near zero and fades at either end do not count.
    const std::size_t frames = interleaved.size() / std::size_t(channels);
    const std::size_t from = frames / 10;
    const std::size_t to = frames - frames / 10;
    const double threshold = 0.05 * 2147483648.0;
    std::vector<double> crossings;
    bool armed = false;
    double previous = 0;
    for (std::size_t i = from; i < to; ++i) {
        const double v = interleaved[i * std::size_t(channels) + std::size_t(channel)];
        if (v < -threshold)
            armed = true;
        if (armed && i > from && previous < 0 && v >= 0) {
            crossings.push_back(double(i - 1) + previous / (previous - v));
            armed = false;
        }
        previous = v;
    }
    if (crossings.size() < 3)
        return 0;
    return double(crossings.size() - 1) * rate / (crossings.back() - crossings.front());
}

double ffmpegFrequency(const QString &path, int channel) {
    const AudioFacts info = probeAudio(path);
    QProcess p;
    p.start(QStringLiteral("ffmpeg"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path, QStringLiteral("-f"),
             QStringLiteral("s32le"), QStringLiteral("-")});
    if (!p.waitForFinished(60000) || info.channels <= 0)
        return 0;
    const QByteArray raw = p.readAllStandardOutput();
    SampleBlock samples(std::size_t(raw.size()) / sizeof(Sample));
    std::memcpy(samples.data(), raw.constData(), samples.size() * sizeof(Sample));
    return toneFrequency(samples, info.channels, channel, info.sampleRate);
}

double rms(const SampleBlock &interleaved, int channels, int channel) {
    double sum = 0;
    std::size_t n = 0;
    for (std::size_t i = std::size_t(channel); i < interleaved.size(); i += std::size_t(channels), ++n)
        sum += std::pow(interleaved[i] / 2147483648.0, 2);
    return n ? std::sqrt(sum / double(n)) : 0;
}

} // namespace varnelo::test
