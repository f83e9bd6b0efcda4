#pragma once
#include <QMap>
#include <QString>
#include <vector>

namespace varnelo::test {

// What ffprobe (an independent reader) says of a file and its first audio
// stream. The tests' one way of asking it.
struct AudioFacts {
    bool ok = false; // an audio stream was found
    QString codec;
    QString codecTag;
    int sampleRate = 0;
    int channels = 0;
    qint64 bitRate = 0; // the stream's, else the file's
    int bitsPerSample = 0;
    double seconds = 0;       // the file's duration, else the stream's
    double streamSeconds = 0; // the stream's duration, with any encoder delay it declares
    double startTime = 0;     // the stream's start: the encoder delay the file declares
    // The file's and the stream's tags, keys lower-cased; the file's win.
    QMap<QString, QString> tags;
    QString title, artist, album, genre, track, date; // taken from `tags` ("author" stands for artist)
    // What a player plays: the stream less the encoder delay.
    double playable() const { return (streamSeconds > 0 ? streamSeconds : seconds) - startTime; }
};
AudioFacts probeAudio(const QString &path);

// The first channel of a file as ffmpeg decodes it, at `rate`.
std::vector<float> decodeFirstChannel(const QString &path, int rate = 44100);

// Frequency of a stretch of decoded sound (seconds from `from`, `length` long).
double frequencyAt(const std::vector<float> &samples, double from, double length, int rate = 44100);

} // namespace varnelo::test
