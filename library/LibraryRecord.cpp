#include "library/LibraryRecord.h"

namespace varnelo {

QByteArray LibraryRecord::toBytes() const {
    QByteArray bytes(Size, '\0');
    records::writeField(bytes, GenreField, Genre);
    records::writeField(bytes, TitleField, Title);
    records::writeField(bytes, ArtistField, Artist);
    records::writeField(bytes, AlbumField, Album);
    records::writeField(bytes, PathField, Path);
    return bytes;
}

LibraryRecord LibraryRecord::fromBytes(const QByteArray &bytes) {
    LibraryRecord r;
    r.Genre = records::readField(bytes, GenreField);
    r.Title = records::readField(bytes, TitleField);
    r.Artist = records::readField(bytes, ArtistField);
    r.Album = records::readField(bytes, AlbumField);
    r.Path = records::readField(bytes, PathField);
    return r;
}

} // namespace varnelo
