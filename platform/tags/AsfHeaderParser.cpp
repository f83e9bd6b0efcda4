#include "platform/tags/AsfHeaderParser.h"

#include <QUuid>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <optional>

namespace varnelo {
namespace {

// GUIDs are stored with their first three fields little-endian.
QByteArray guidBytes(const char *text) {
    const QUuid id(QLatin1String{text});
    QByteArray out(16, '\0');
    qToLittleEndian<quint32>(id.data1, out.data());
    qToLittleEndian<quint16>(id.data2, out.data() + 4);
    qToLittleEndian<quint16>(id.data3, out.data() + 6);
    std::memcpy(out.data() + 8, id.data4, 8);
    return out;
}

const QByteArray &headerGuid() {
    static const QByteArray g = guidBytes("{75B22630-668E-11CF-A6D9-00AA0062CE6C}");
    return g;
}
const QByteArray &contentDescriptionGuid() {
    static const QByteArray g = guidBytes("{75B22633-668E-11CF-A6D9-00AA0062CE6C}");
    return g;
}
const QByteArray &extendedDescriptionGuid() {
    static const QByteArray g = guidBytes("{D2D0A440-E307-11D2-97F0-00A0C95EA850}");
    return g;
}
const QByteArray &legacyHeaderGuid() {
    static const QByteArray g = guidBytes("{D6E229D1-35DA-11D1-9034-00A0C90349BE}");
    return g;
}
const QByteArray &legacyDescriptionGuid() {
    static const QByteArray g = guidBytes("{D6E229D5-35DA-11D1-9034-00A0C90349BE}");
    return g;
}

constexpr qint64 ObjectHeaderSize = 24;
// A header holding cover art can be large, but not this large; beyond it the
// object walk simply stops.
constexpr qint64 MaxHeaderBytes = 64 * 1024 * 1024;
// Legacy entries keep at most this many characters of a name or value.
constexpr qint64 MaxLegacyChars = 511;

// A view over the header bytes that refuses to read past its end.
class Cursor {
public:
    explicit Cursor(QByteArrayView bytes) : bytes_(bytes) {}
    qint64 left() const { return bytes_.size() - pos_; }
    qint64 pos() const { return pos_; }
    bool skip(qint64 n) {
        if (n < 0 || n > left())
            return false;
        pos_ += n;
        return true;
    }
    std::optional<QByteArrayView> take(qint64 n) {
        if (n < 0 || n > left())
            return std::nullopt;
        QByteArrayView v = bytes_.sliced(pos_, n);
        pos_ += n;
        return v;
    }
    std::optional<quint16> word() {
        auto v = take(2);
        return v ? std::optional<quint16>(qFromLittleEndian<quint16>(v->data())) : std::nullopt;
    }
    std::optional<quint64> qword() {
        auto v = take(8);
        return v ? std::optional<quint64>(qFromLittleEndian<quint64>(v->data())) : std::nullopt;
    }

private:
    QByteArrayView bytes_;
    qint64 pos_ = 0;
};

QString utf16(QByteArrayView bytes) {
    // Byte by byte: the text need not be aligned in the buffer.
    QString s(bytes.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < s.size(); ++i)
        s[i] = QChar(qFromLittleEndian<quint16>(bytes.data() + 2 * i));
    const qsizetype nul = s.indexOf(QChar(u'\0'));
    if (nul >= 0)
        s.truncate(nul);
    return s;
}

// Walks the objects of a header body; `visit(guid, payload)` sees each one.
template <typename Visit> void walkObjects(Cursor &c, Visit visit) {
    while (c.left() >= ObjectHeaderSize) {
        const QByteArrayView guid = *c.take(16);
        const quint64 size = *c.qword();
        if (size < static_cast<quint64>(ObjectHeaderSize) ||
            size - ObjectHeaderSize > static_cast<quint64>(c.left()))
            return;
        visit(guid, *c.take(static_cast<qint64>(size) - ObjectHeaderSize));
    }
}

void readContentDescription(QByteArrayView payload, AsfHeaderFields &out) {
    Cursor c(payload);
    quint16 lengths[5];
    for (auto &l : lengths) {
        auto w = c.word();
        if (!w)
            return;
        l = *w;
    }
    QString texts[2];
    for (int i = 0; i < 2; ++i) {
        auto v = c.take(lengths[i]);
        if (!v)
            return;
        texts[i] = utf16(*v);
    }
    if (!texts[0].isEmpty())
        out.title = texts[0];
    if (!texts[1].isEmpty())
        out.author = texts[1];
}

void readExtendedDescription(QByteArrayView payload, AsfHeaderFields &out) {
    Cursor c(payload);
    auto count = c.word();
    if (!count)
        return;
    for (quint16 i = 0; i < *count; ++i) {
        auto nameLength = c.word();
        auto name = nameLength ? c.take(*nameLength) : std::nullopt;
        auto type = name ? c.word() : std::nullopt;
        auto valueLength = type ? c.word() : std::nullopt;
        auto value = valueLength ? c.take(*valueLength) : std::nullopt;
        if (!value)
            return;
        if (*type != 0) // only Unicode strings
            continue;
        const QString key = utf16(*name);
        const QString text = utf16(*value);
        if (key == QLatin1String("WM/AlbumTitle"))
            out.album = text;
        else if (key == QLatin1String("WM/Genre"))
            out.genre = text;
        else if (key == QLatin1String("Title") && out.title.isEmpty())
            out.title = text;
        else if (key == QLatin1String("Author") && out.author.isEmpty())
            out.author = text;
    }
}

// Legacy entries: an id byte, four bytes of no interest, then the name and
// value lengths in characters, then both texts in UTF-16.
void readLegacyDescription(QByteArrayView payload, AsfHeaderFields &out) {
    Cursor c(payload);
    auto count = c.word();
    if (!count)
        return;
    for (quint16 i = 0; i < *count; ++i) {
        auto head = c.take(9);
        if (!head)
            return;
        const auto id = static_cast<quint8>((*head)[0]);
        const qint64 nameChars = qFromLittleEndian<quint16>(head->data() + 5);
        const qint64 valueChars = qFromLittleEndian<quint16>(head->data() + 7);
        auto name = c.take(2 * nameChars);
        auto value = name ? c.take(2 * valueChars) : std::nullopt;
        if (!value)
            return;
        const QString text = utf16(value->first(2 * std::min(valueChars, MaxLegacyChars)));
        if (id == 1)
            out.author = text;
        else if (id == 2)
            out.title = text;
    }
}

} // namespace

AsfHeaderFields ParseAsfHeader(QIODevice &device) {
    AsfHeaderFields out;
    const QByteArray start = device.read(ObjectHeaderSize);
    if (start.size() != ObjectHeaderSize)
        return out;
    const QByteArrayView guid = QByteArrayView(start).first(16);
    const bool current = guid == headerGuid();
    if (!current && guid != legacyHeaderGuid())
        return out;
    const quint64 size = qFromLittleEndian<quint64>(start.constData() + 16);
    if (size < static_cast<quint64>(ObjectHeaderSize))
        return out;
    qint64 bodySize = static_cast<qint64>(std::min<quint64>(size - ObjectHeaderSize, MaxHeaderBytes));
    if (!device.isSequential())
        bodySize = std::min(bodySize, std::max<qint64>(0, device.size() - device.pos()));
    const QByteArray body = device.read(bodySize);
    Cursor c(body);
    if (current && !c.skip(6)) // object count and two reserved bytes
        return out;
    walkObjects(c, [&](QByteArrayView objectGuid, QByteArrayView payload) {
        if (current && objectGuid == contentDescriptionGuid())
            readContentDescription(payload, out);
        else if (current && objectGuid == extendedDescriptionGuid())
            readExtendedDescription(payload, out);
        else if (!current && objectGuid == legacyDescriptionGuid())
            readLegacyDescription(payload, out);
    });
    return out;
}

} // namespace varnelo
