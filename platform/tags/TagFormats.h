#pragma once
#include "platform/tags/AudioInformation.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <taglib/id3v2.h>

namespace TagLib {
class File;
class String;
namespace ID3v2 {
class Tag;
} // namespace ID3v2
} // namespace TagLib

// The TagLib side of AudioInformation: which tag of which format holds each
// property, how the technical facts are described, and how changed values are
// written back. Kept apart so the component stays about order and errors.
namespace varnelo::tagformats {

// Installs the ID3v1 and RIFF INFO text handlers (UTF-8, else Windows-1252).
// Safe to call any number of times from any thread.
void InstallTextHandlers();

TagLib::String ToTagLib(const QString &text);
QString FromTagLib(const TagLib::String &text);

AudioInformation::Tags ReadTags(TagLib::File &file);
AudioInformation::Facts ReadFacts(TagLib::File &file);

// Brings the file's tags in line with `tags` in memory and, with `save`, saves
// the file when anything differs. Without `save` it only tells whether a save
// would change the file. `mpegVersion`: 1 ID3v1, 2 ID3v2, 0 both (MP3 only).
enum class WriteResult { Unchanged, Changed, Failed };
WriteResult WriteTags(TagLib::File &file, const AudioInformation::Tags &tags, int mpegVersion, bool save);

// Sets fields by name (PropertyMap keys: TXXX frames in ID3v2, Vorbis
// comments), leaving every other field alone; an MP3 gets them in its ID3v2
// tag only, kept at its version. Only changed values count as a change.
WriteResult WriteFields(TagLib::File &file, const QMap<QString, QString> &fields, bool save);

// The values of fields by name where WriteFields puts them; missing ones are left out.
QMap<QString, QString> ReadFields(TagLib::File &file, const QStringList &names);

// The ID3v2 version a write keeps `tag` at (null: a new tag).
TagLib::ID3v2::Version Id3v2VersionFor(const TagLib::ID3v2::Tag *tag);

// Genre number for a genre text: our table first, then TagLib's spellings.
int GenreNumberOf(const QString &text);

} // namespace varnelo::tagformats
