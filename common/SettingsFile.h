#pragma once
#include <QDate>
#include <QString>
#include <QTime>
#include <vector>

namespace varnelo {

// The program's INI file ("temp.ini"), with Windows-INI semantics: section and
// key names match without regard to letter case and may contain spaces; every
// write reaches the disk at once (atomically replaced); lines the program does
// not know are kept. Readers return the caller's default when the key is
// missing or its value does not parse.
class SettingsFile {
public:
    SettingsFile() = default;
    explicit SettingsFile(const QString &path) { open(path); }

    // Reads the file if it exists; a missing file is created on the first write.
    void open(const QString &path);
    const QString &path() const { return path_; }
    // Re-reads the file from disk (others may have written it).
    void reload();
    // Takes the contents from the bytes of an INI file, as reload() does from disk.
    void parse(const QByteArray &data);
    // The file's bytes as the next write stores them.
    QByteArray toBytes() const;

    bool hasKey(const QString &section, const QString &key) const;
    QString readString(const QString &section, const QString &key, const QString &def) const;
    int readInteger(const QString &section, const QString &key, int def) const;
    // Any non-zero number is true; "true"/"false" are accepted too.
    bool readBool(const QString &section, const QString &key, bool def) const;
    // Written as HH:mm:ss / yyyy-MM-dd; the locale's forms are accepted on reading.
    QTime readTime(const QString &section, const QString &key, const QTime &def) const;
    QDate readDate(const QString &section, const QString &key, const QDate &def) const;

    // Each write rewrites the file atomically; returns false when it could not be written.
    bool writeString(const QString &section, const QString &key, const QString &value);
    bool writeInteger(const QString &section, const QString &key, int value);
    bool writeBool(const QString &section, const QString &key, bool value); // 1 / 0
    bool writeTime(const QString &section, const QString &key, const QTime &value);
    bool writeDate(const QString &section, const QString &key, const QDate &value);
    bool eraseKey(const QString &section, const QString &key);

private:
    struct Line {
        QString text;    // the line as read (kept verbatim when not rewritten)
        QString section; // section the line belongs to ("" before the first header)
        QString key;     // key of a key=value line, else empty
        bool header = false;
    };
    const Line *find(const QString &section, const QString &key) const;
    bool set(const QString &section, const QString &key, const QString &value);
    bool save() const;

    QString path_;
    std::vector<Line> lines_;
};

} // namespace varnelo
