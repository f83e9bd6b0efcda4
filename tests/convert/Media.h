#pragma once
// Generated media and independent checks (sox, ffprobe) for the converter tests.
#include "support/AudioCheck.h"

#include <QString>
#include <QStringList>

namespace varnelo::test {

// Runs a program to its end; returns the exit code (-1 when it did not run).
int run(const QString &program, const QStringList &args, QString *out = nullptr, QString *err = nullptr);

// A sine tone at half scale made by sox: `extraArgs` go before the output name
// (e.g. {"-b", "24"}), the output's extension chooses the format.
QString makeTone(const QString &path, double hz, double seconds, int rate, int channels,
                 const QStringList &extraArgs = {});

// sox's rough frequency of a file (decoded by sox itself, or by ffmpeg first
// when sox cannot read the format).
double measuredFrequency(const QString &path);

// The Vorbis identification header of an Ogg file.
struct VorbisIdent {
    int channels = 0;
    int rate = 0;
    int maximum = 0;
    int nominal = 0;
    int minimum = 0;
    bool ok = false;
};
VorbisIdent vorbisIdent(const QString &path);

} // namespace varnelo::test
