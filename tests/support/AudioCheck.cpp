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

} // namespace

AudioFacts probeAudio(const QString &path) {
    const QByteArray json =
        toolOutput(QStringLiteral("ffprobe"),
                   {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_format"),
                    QStringLiteral("-show_streams"), QStringLiteral("-of"), QStringLiteral("json"), path});
    const QJsonObject root = QJsonDocument::fromJson(json).object();
    AudioFacts facts;
    const auto addTags = [&facts](const QJsonObject &object) {
        const QJsonObject tags = object.value(QStringLiteral("tags")).toObject();
        for (auto it = tags.begin(); it != tags.end(); ++it)
            facts.tags.insert(it.key().toLower(), it.value().toString());
    };
    for (const QJsonValue &value : root.value(QStringLiteral("streams")).toArray()) {
        const QJsonObject stream = value.toObject();
        if (stream.value(QStringLiteral("codec_type")).toString() != QLatin1String("audio"))
            continue;
        facts.codec = stream.value(QStringLiteral("codec_name")).toString();
        facts.codecTag = stream.value(QStringLiteral("codec_tag_string")).toString();
        facts.sampleRate = stream.value(QStringLiteral("sample_rate")).toString().toInt();
        facts.channels = stream.value(QStringLiteral("channels")).toInt();
        facts.bitRate = stream.value(QStringLiteral("bit_rate")).toString().toLongLong();
        facts.bitsPerSample = stream.value(QStringLiteral("bits_per_sample")).toInt();
        facts.streamSeconds = stream.value(QStringLiteral("duration")).toString().toDouble();
        facts.startTime = stream.value(QStringLiteral("start_time")).toString().toDouble();
        addTags(stream);
        facts.ok = true;
        break;
    }
    const QJsonObject format = root.value(QStringLiteral("format")).toObject();
    addTags(format);
    facts.seconds = format.value(QStringLiteral("duration")).toString().toDouble();
    if (facts.seconds <= 0)
        facts.seconds = facts.streamSeconds;
    if (facts.bitRate == 0)
        facts.bitRate = format.value(QStringLiteral("bit_rate")).toString().toLongLong();
    const auto tag = [&facts](const char *name) { return facts.tags.value(QLatin1String(name)); };
    facts.title = tag("title");
    facts.artist = facts.tags.contains(QStringLiteral("artist")) ? tag("artist") : tag("author");
    facts.album = tag("album");
    facts.genre = tag("genre");
    facts.track = tag("track");
    facts.date = tag("date");
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
