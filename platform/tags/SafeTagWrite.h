#pragma once
#include <QString>
#include <QtGlobal>
#include <functional>

namespace TagLib {
class File;
} // namespace TagLib

// Tag writing that cannot cost the audio. TagLib trusts the sizes a file
// declares for its tags; in a damaged file those can cover audio, which a
// rewrite then drops. So tags are written to a copy in the same folder, the
// copy's audio is decoded and compared with the original's, and only then is
// the copy renamed over the original.
namespace varnelo::tagformats {

// What the program's own decoder makes of a file's audio.
struct AudioMeasure {
    bool decodable = false;
    qint64 frames = 0;
    int channels = 0;
    int rate = 0;
    bool damaged = false; // decoding stopped early on damaged data
    QString error;
};
AudioMeasure MeasureAudio(const QString &path);

// Why the tags of `file` cover audio a rewrite would lose (an ID3v2 tag whose
// declared size runs over MPEG frames); empty when they do not.
QString AudioHiddenInTags(TagLib::File &file);

// Copies `path` (the file a link names) to a hidden file beside it, lets
// `write` change the copy, checks that the copy decodes to the same audio and
// renames it over the original with the original's permissions and owner.
// Throws varnelo::Error naming `path` when anything fails; the original is
// then untouched and no copy is left behind.
// How the copy's audio is checked: decoded and counted (any file), or, for a
// file this program has just encoded (MP3 and FLAC), compared byte for byte
// between its tags, which costs no decoding; other formats are decoded.
enum class AudioCheck { Decode, Bytes };
void WriteThroughCopy(const QString &path, const std::function<void(const QString &copy)> &write,
                      AudioCheck check = AudioCheck::Decode);

} // namespace varnelo::tagformats
