#pragma once
#include <QString>
#include <vector>

namespace varnelo::test {

// What ffprobe (an independent reader) says of an audio file.
struct AudioFacts {
    bool ok = false;
    QString codec;
    int sampleRate = 0;
    int channels = 0;
    double seconds = 0;
    QString title;
    QString genre;
};
AudioFacts probeAudio(const QString &path);

// The first channel of a file as ffmpeg decodes it, at `rate`.
std::vector<float> decodeFirstChannel(const QString &path, int rate = 44100);

// Frequency of a stretch of decoded sound (seconds from `from`, `length` long).
double frequencyAt(const std::vector<float> &samples, double from, double length, int rate = 44100);

} // namespace varnelo::test
