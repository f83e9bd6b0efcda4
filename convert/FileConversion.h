#pragma once
#include <QMap>
#include <QString>
#include <functional>

namespace varnelo {

class AudioFile;
class LoudnessMeter;

// The block copy at the heart of a conversion: reads the source in one-second
// chunks through `reader` and writes them through `writer`, which must have its
// output format configured (ConfigureEncoder). Used where no window is involved
// (command line, tests); the converter's ConvertEntry keeps its own loop.
struct ConversionResult {
    bool ok = false;
    bool stopped = false; // `progress` asked to stop; the output holds what was written
    QString error;        // why it failed, for the user
};

// `progress` gets 0..100 after each chunk and returns false to stop. A
// `meter` measures the audio on its way to the encoder. What a stop leaves:
// with `keepStopped` the output holds all the audio converted until then
// (audio being encoded on other cores is completed); without, the caller
// discards the output, and audio still being encoded is dropped at once.
ConversionResult ConvertAudioFile(AudioFile &reader, AudioFile &writer, const QString &sourcePath,
                                  const QString &outputPath,
                                  const std::function<bool(int percent)> &progress = {},
                                  LoudnessMeter *meter = nullptr, bool keepStopped = true);

// ReplayGain 2.0 fields for a track's (and an album's) loudness in LUFS and
// peak: REPLAYGAIN_* against -18 LUFS, and for Opus R128_* against -23 LUFS
// in Q7.8. Nothing for a loudness of silence.
QMap<QString, QString> ReplayGainFields(double trackLufs, double trackPeak, double albumLufs,
                                        double albumPeak, bool album, bool opus);

// The name ConvertEntry gives an output: folder (ending in a separator) + "N_" +
// the source's file name with its extension replaced.
QString ConvertedFileName(const QString &folder, const QString &sourcePath, const QString &extension);

} // namespace varnelo
