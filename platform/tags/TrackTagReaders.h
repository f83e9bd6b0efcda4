#pragma once
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <optional>

class QIODevice;

namespace varnelo {

// The four text fields of a library record, as the tag readers give them.
// Values are full length: the record code cuts them to its field widths.
struct TrackFields {
    QString genre, title, artist, album;
};

// The extensions ReadTrackFields reads (lower case, with the dot), in the order
// the library's lists name them.
const QStringList &TrackFileExtensions();

// Reads Genre, Title, Artist and Album of the file by its extension (".mp3"
// and ".mp2": ID3v1, or ID3v2 when the file has no ID3v1 tag; ".wma": ASF
// attributes; ".ogg": Vorbis comments; ".wav", ".flac", ".opus", ".m4a":
// the information component), letter case ignored, and applies the defaults.
// Other extensions are read by nothing and yield the defaults alone.
// Throws varnelo::Error when a file other than WMA cannot be read; a WMA file
// that cannot be read yields the defaults. No reader changes the file it reads.
TrackFields ReadTrackFields(const QString &path, const QString &extension);

// The readers one by one, without the defaults.
// ID3v1 tag in the last 128 bytes; without one the genre is "Dance". Fields
// keep their padding spaces; a genre number above 147 reads as "Other".
TrackFields ReadId3v1Fields(const QString &path);
// The ID3v1 tag in `tail`, the file's last 128 bytes (fewer: the file is too
// short for one); nothing when there is no tag.
std::optional<TrackFields> ParseId3v1Tag(QByteArrayView tail);
// The ID3v2 tag through TagLib; nothing when the file has none.
std::optional<TrackFields> ReadId3v2Fields(const QString &path);
// ID3v1 when the file has that tag, else ID3v2, else ID3v1's defaults.
TrackFields ReadMp3Fields(const QString &path);
// Vorbis comments; for a name the last comment wins, whatever its letter case.
TrackFields ReadVorbisFields(const QString &path);
// The Vorbis comments of the Ogg Vorbis stream `device` reads (headers only).
// std::nullopt when the stream is not Vorbis; throws varnelo::Error naming
// `name` when its headers cannot be read.
std::optional<TrackFields> ReadVorbisComments(QIODevice &device, const QString &name);
// ASF attributes through TagLib, else our own header parser.
TrackFields ReadWmaFields(const QString &path);
// LoadInfo of the information component (WAV, FLAC, Ogg Opus, M4A).
TrackFields ReadWavFields(const QString &path);

// Empty Artist → "Unknown Artist", empty Album → "Unknown Album", empty Title
// → the file's name with its extension.
void ApplyTrackDefaults(TrackFields &fields, const QString &path);

} // namespace varnelo
