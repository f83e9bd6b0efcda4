#pragma once
// Disc images generated for the tests: raw 2352-byte sectors of 16-bit
// stereo (little-endian for a cue sheet, big-endian for a .toc), a tone of known frequency per track with a
// little noise on it (so that no two stretches of a track are alike, as in music), and a cue sheet or a
// cdrdao table of contents.
#include "platform/cd/DiscToc.h"

#include <QByteArray>
#include <QString>
#include <utility>
#include <vector>

namespace varnelo::test {

struct ImageTrack {
    double hz = 440;
    int sectors = 75 * 3;
    bool audio = true;
    QString title; // CD-Text, written when the image description asks for it
    QString performer;
};

struct ImageSpec {
    std::vector<ImageTrack> tracks;
    QString title;     // album
    QString performer; // album artist
    bool cdText = false;
    bool toc = false;         // a .toc instead of a .cue
    QString dataName;         // the data file's name, default <base>.bin
    bool languageMap = false; // toc: a LANGUAGE_MAP block as cdrdao writes it
};

struct DiscImage {
    QString sheet; // .cue or .toc
    QString data;  // the .bin
    std::vector<int> starts;
    std::vector<int> sectors;
    QByteArray bytes; // the samples of the data file, little-endian (a .toc's file holds them big-endian)
    // The raw little-endian bytes of track i (0-based, counting every track).
    QByteArray trackBytes(int i) const;
};

DiscImage writeDiscImage(const QString &folder, const QString &base, const ImageSpec &spec);

// One record of an AccurateRip database file for the disc: confidence and checksum per track.
QByteArray accurateRipRecord(const cd::AccurateRipIds &ids,
                             const std::vector<std::pair<int, quint32>> &tracks);

// Three tracks of odd lengths (none a whole second) at 440, 660 and 880 Hz:
// "T.N.T.", "Rock 'n' Roll Singer" and "The Jack" by AC/DC on "High Voltage",
// written as CD-Text when asked.
ImageSpec highVoltage(bool cdText);

// A 44-byte canonical WAV header's data (the samples) of a file we wrote; empty when not one.
QByteArray wavData(const QString &path);

// Runs a program to its end; its exit code, -1 when it could not run. Output collected when asked.
int runProgram(const QString &program, const QStringList &args, QByteArray *out = nullptr,
               QByteArray *err = nullptr, int timeoutMs = 120000);

// The tone frequency of the left channel of an encoded file, decoded by ffmpeg (not by us).
double decodedFrequency(const QString &path, double *seconds = nullptr);

} // namespace varnelo::test
