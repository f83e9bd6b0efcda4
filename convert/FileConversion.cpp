#include "convert/FileConversion.h"

#include "platform/audiofile/AudioFile.h"
#include "platform/audiofile/LoudnessMeter.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace varnelo {

QString ConvertedFileName(const QString &folder, const QString &sourcePath, const QString &extension) {
    return folder + QStringLiteral("N_") + QFileInfo(sourcePath).completeBaseName() + extension;
}

QMap<QString, QString> ReplayGainFields(double trackLufs, double trackPeak, double albumLufs,
                                        double albumPeak, bool album, bool opus) {
    QMap<QString, QString> fields;
    const auto add = [&](const char *scope, double lufs, double peak) {
        if (!std::isfinite(lufs))
            return;
        const QString upper = QLatin1String(scope);
        fields[QStringLiteral("REPLAYGAIN_%1_GAIN").arg(upper)] =
            QStringLiteral("%1 dB").arg(LoudnessMeter::ReferenceLufs - lufs, 0, 'f', 2);
        fields[QStringLiteral("REPLAYGAIN_%1_PEAK").arg(upper)] = QString::number(peak, 'f', 6);
        if (opus) // Opus players apply these instead, against -23 LUFS
            fields[QStringLiteral("R128_%1_GAIN").arg(upper)] =
                QString::number(std::clamp(std::lround((-23.0 - lufs) * 256), -32768L, 32767L));
    };
    add("TRACK", trackLufs, trackPeak);
    if (album)
        add("ALBUM", albumLufs, albumPeak);
    return fields;
}

ConversionResult ConvertAudioFile(AudioFile &reader, AudioFile &writer, const QString &sourcePath,
                                  const QString &outputPath, const std::function<bool(int)> &progress,
                                  LoudnessMeter *meter, bool keepStopped) {
    ConversionResult result;
    if (QFileInfo(sourcePath).canonicalFilePath() == QFileInfo(outputPath).canonicalFilePath() &&
        QFileInfo::exists(outputPath)) {
        result.error = QCoreApplication::translate("Convert", "the output would overwrite the source");
        return result;
    }
    reader.OpenSource(sourcePath);
    if (reader.ErrorCode() != 0) {
        result.error = reader.ErrorText();
        reader.CloseFile();
        return result;
    }
    writer.SetFormat(reader.SampleRate(), reader.Channels());
    writer.SetSourceBits(reader.SourceBits());
    if (!writer.CreateOutputFile(outputPath) || writer.ErrorCode() != 0) {
        result.error = writer.ErrorText();
        reader.CloseFile();
        return result;
    }
    if (meter)
        meter->start(reader.SampleRate(), reader.Channels());
    const qint64 length = reader.Length();
    const int blockAlign = reader.BlockAlign();
    const qint64 chunk = reader.SampleRate(); // one second of frames
    qint64 done = 0;
    bool failed = false;
    bool anyAudio = false;
    for (;;) {
        const SampleBlock block = reader.ReadSamples(chunk);
        if (block.empty())
            break;
        anyAudio = true;
        if (!writer.WriteSamples(block)) {
            failed = true;
            break;
        }
        if (meter && blockAlign > 0)
            meter->add(block.data(), block.size() / std::size_t(blockAlign));
        if (blockAlign > 0)
            done = std::min(done + static_cast<qint64>(block.size()) / blockAlign, length);
        if (progress && !progress(length > 0 ? static_cast<int>(done * 100 / length) : 0)) {
            result.stopped = true;
            break;
        }
    }
    const int readError = reader.ErrorCode();
    const QString readText = reader.ErrorText();
    reader.CloseFile();
    if (result.stopped && !keepStopped)
        writer.StopFile();
    else
        writer.CloseFile();
    if (failed || writer.ErrorCode() != 0) {
        result.error = writer.ErrorText();
    } else if (readError != 0) {
        // A source that breaks off part way: the output holds what could be
        // decoded, which must not pass for a complete conversion.
        result.error = readText;
    } else if (!anyAudio && !result.stopped) {
        // A damaged file whose container opens but whose audio does not decode.
        result.error = QCoreApplication::translate("Convert", "no audio could be decoded from the source");
    } else {
        result.ok = !result.stopped;
    }
    if (!result.ok && !result.stopped)
        QFile::remove(outputPath);
    return result;
}

} // namespace varnelo
