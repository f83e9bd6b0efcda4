#pragma once
#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

namespace varnelo {

// A fixed-width length-prefixed text field inside a record: one length byte,
// then an area of `maxBytes` bytes of which the first `length` are meaningful.
struct RecordField {
    int offset;
    int maxBytes;
};

namespace records {
// Reads a field; bytes that are not UTF-8 (older files) are read as Windows-1252.
QString readField(const QByteArray &record, RecordField field);
// Stores `text` cut to the field's width at a character boundary; the rest of
// the area is zero-filled.
void writeField(QByteArray &record, RecordField field, const QString &text);
} // namespace records

// A headerless file of fixed-size records. Nothing is held open between
// operations; each call opens, works and closes.
class RecordFile {
public:
    RecordFile(QString path, int recordSize) : path_(std::move(path)), size_(recordSize) {}

    const QString &path() const { return path_; }
    int recordSize() const { return size_; }
    bool exists() const;

    // Every whole record in file order; a tail shorter than a record is ignored.
    // Throws varnelo::Error when the file cannot be opened.
    std::vector<QByteArray> readAll() const;
    // Calls `visit` for each whole record until it returns false.
    void forEach(const std::function<bool(const QByteArray &)> &visit) const;

    // True when some whole record matches (reading stops at the first).
    bool any(const std::function<bool(const QByteArray &)> &match) const;

    // Appends at the end of an existing file; false (and nothing written) when
    // the file does not exist. Throws varnelo::Error on a write failure. The
    // file is rewritten through a copy renamed over it, so it holds either all
    // of the records or none of them, whenever the program is stopped.
    bool append(const QByteArray &record) const;
    bool append(const std::vector<QByteArray> &records) const;

    // A tail shorter than a record is what no reader reads and what a rewrite
    // drops. When the file has one, the file as it is is kept as
    // "<name>.damaged" and the tail cut off; returns what to tell the user, or
    // nothing when the file was whole (or missing).
    QString keepDamagedTail() const;

    // Rewrites the file without the records `drop` selects (index is 0-based),
    // through `scratchPath` and an atomic rename over the original, so the file
    // is always either the old or the new one. Returns how many were dropped;
    // with none dropped the file is left untouched.
    //
    // Every reader opens regular files only (a FIFO or a device under a record
    // file's name is refused) and reads no more than the size the file had.
    int removeWhere(const std::function<bool(int index, const QByteArray &)> &drop,
                    const QString &scratchPath) const;

private:
    QString path_;
    int size_;
};

} // namespace varnelo
