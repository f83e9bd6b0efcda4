#pragma once
#include "platform/tags/AudioInformation.h"
#include "platform/tags/TagFormats.h"

#include <QByteArray>
#include <QString>

namespace TagLib {
class File;
} // namespace TagLib

// The pictures of every format that holds them: ID3v2 APIC frames (MP3, WAV,
// AIFF), FLAC PICTURE blocks, METADATA_BLOCK_PICTURE in Ogg Vorbis comments,
// M4A "covr" and WMA "WM/Picture".
namespace varnelo::tagformats {

// The front cover as stored: its bytes and stored MIME type, width and height
// 0. Null when the file has none.
AudioInformation::Cover ReadFrontCover(TagLib::File &file);

// Puts `cover` in place of the front cover, or removes the front cover when
// `cover` is null. Without `save` only tells whether a save would change the file.
WriteResult WriteFrontCover(TagLib::File &file, const AudioInformation::Cover *cover, bool save);

// What the bytes say about an image: MIME type and size in pixels from the
// header only (nothing is decoded) of a JPEG or PNG; for other types the stored
// MIME type and 0×0.
AudioInformation::Cover DescribeImage(QByteArray data, const QString &storedMime);

// "image/jpeg" or "image/png" by the image's first bytes, else empty.
QString ImageTypeOf(const QByteArray &data);

} // namespace varnelo::tagformats
