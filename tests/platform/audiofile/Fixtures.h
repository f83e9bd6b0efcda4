#pragma once
// Generated media for the AudioFile tests: tones made by ffmpeg/sox/lame at run time.
#include "platform/audiofile/AudioFile.h"
#include "support/AudioCheck.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cmath>
#include <vector>

namespace varnelo::test {

// Runs a program; returns its exit code and stores stdout+stderr.
int runTool(const QString &program, const QStringList &args, QString *output = nullptr);

// A tone of `hz` at half full scale (a third in stereo) made by ffmpeg's sine source and encoded with
// `codecArgs`.
QString makeTone(const QTemporaryDir &dir, const QString &name, double hz, double seconds, int rate,
                 int channels, const QStringList &codecArgs);

// Every frame of a source read to its end in blocks of `chunk` frames.
SampleBlock readAll(AudioFile &file, qint64 chunk = 4096);

// Frequency of channel `channel` estimated from its positive-going zero crossings.
double toneFrequency(const SampleBlock &interleaved, int channels, int channel, int rate);

// Tone frequency of one channel as decoded by the ffmpeg program, independent of our decoder.
double ffmpegFrequency(const QString &path, int channel = 0);
// RMS level of one channel, full scale = 1.
double rms(const SampleBlock &interleaved, int channels, int channel);

} // namespace varnelo::test
