#include "support/AudioCheck.h"

#include "support/ChildProcess.h"
#include "support/Tone.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstring>

namespace varnelo::test {

namespace {
QByteArray toolOutput(const QString &program, const QStringList &args) {
    ChildProcess child;
    if (!child.start(program, args) || !child.waitForFinished(120000) || child.exitCode() != 0)
        return {};
    return child.standardOutput();
}

QString tag(const QJsonObject &tags, const QString &name) {
    for (auto it = tags.begin(); it != tags.end(); ++it)
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value().toString();
    return {};
}
} // namespace

AudioFacts probeAudio(const QString &path) {
    const QByteArray json =
        toolOutput(QStringLiteral("ffprobe"),
                   {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_format"),
                    QStringLiteral("-show_streams"), QStringLiteral("-of"), QStringLiteral("json"), path});
    const QJsonObject root = QJsonDocument::fromJson(json).object();
    AudioFacts facts;
    for (const QJsonValue &value : root.value(QStringLiteral("streams")).toArray()) {
        const QJsonObject stream = value.toObject();
        if (stream.value(QStringLiteral("codec_type")).toString() != QLatin1String("audio"))
            continue;
        facts.codec = stream.value(QStringLiteral("codec_name")).toString();
        facts.sampleRate = stream.value(QStringLiteral("sample_rate")).toString().toInt();
        facts.channels = stream.value(QStringLiteral("channels")).toInt();
        const QJsonObject tags = stream.value(QStringLiteral("tags")).toObject();
        facts.title = tag(tags, QStringLiteral("title"));
        facts.genre = tag(tags, QStringLiteral("genre"));
        facts.ok = true;
        break;
    }
    const QJsonObject format = root.value(QStringLiteral("format")).toObject();
    facts.seconds = format.value(QStringLiteral("duration")).toString().toDouble();
    const QJsonObject tags = format.value(QStringLiteral("tags")).toObject();
    if (facts.title.isEmpty())
        facts.title = tag(tags, QStringLiteral("title"));
    if (facts.genre.isEmpty())
        facts.genre = tag(tags, QStringLiteral("genre"));
    return facts;
}

std::vector<float> decodeFirstChannel(const QString &path, int rate) {
    const QByteArray raw = toolOutput(QStringLiteral("ffmpeg"),
                                      {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"),
                                       path, QStringLiteral("-af"), QStringLiteral("pan=mono|c0=c0"),
                                       QStringLiteral("-ar"), QString::number(rate), QStringLiteral("-f"),
                                       QStringLiteral("f32le"), QStringLiteral("-")});
    std::vector<float> samples(std::size_t(raw.size()) / sizeof(float));
    std::memcpy(samples.data(), raw.constData(), samples.size() * sizeof(float));
    return samples;
}

double frequencyAt(const std::vector<float> &samples, double from, double length, int rate) {
    const auto start = std::size_t(std::max(0.0, from) * rate);
    const auto count = std::size_t(length * rate);
    if (start >= samples.size())
        return 0;
    return zeroCrossingFrequency(samples.data(), start, std::min(count, samples.size() - start), 1, 0, rate);
}

} // namespace varnelo::test
