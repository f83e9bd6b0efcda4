#include "radio/StationRecord.h"

namespace varnelo {

QByteArray StationRecord::toBytes() const {
    QByteArray bytes(Size, '\0');
    records::writeField(bytes, HomeUrlField, HomeUrl);
    records::writeField(bytes, StreamUrlField, StreamUrl);
    records::writeField(bytes, GenreField, Genre);
    records::writeField(bytes, NameField, Name);
    return bytes;
}

StationRecord StationRecord::fromBytes(const QByteArray &bytes) {
    StationRecord r;
    r.HomeUrl = records::readField(bytes, HomeUrlField);
    r.StreamUrl = records::readField(bytes, StreamUrlField);
    r.Genre = records::readField(bytes, GenreField);
    r.Name = records::readField(bytes, NameField);
    return r;
}

} // namespace varnelo
