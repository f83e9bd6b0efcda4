#pragma once
#include <QDate>
#include <QString>
#include <QTime>
#include <functional>
#include <vector>

class QIODevice;

namespace varnelo {

// The program's INI file ("temp.ini"), with Windows-INI semantics: section and
// key names match without regard to letter case and may contain spaces; lines
// the program does not know are kept, and so are the order of sections and keys
// and an 8-bit (pre-UTF-8) encoding. Readers return the caller's default when the
// key is missing or its value does not parse.
//
// The file is read once; writes change the contents in memory and commit()
// stores them in one atomic replacement of the file.
class SettingsFile {
public:
    // Writes the new contents into the temporary file that then takes the
    // file's place; false with `reason` set when they could not all be written.
    using ByteWriter = std::function<bool(QIODevice &out, const QByteArray &bytes, QString &reason)>;

    SettingsFile() = default;
    explicit SettingsFile(const QString &path) { open(path); }

    // Reads the file if it exists; a missing file is created on the first commit.
    // False when it exists but cannot be read or is not text: problem() says
    // why, the settings start empty and the file is not written over until
    // setAsideDamaged() has moved it away.
    bool open(const QString &path);
    const QString &path() const { return path_; }
    // Re-reads the file from disk (others may have written it); uncommitted changes are dropped.
    bool reload();
    // Empty, or a sentence naming the file and why open() could not use it.
    const QString &problem() const { return problem_; }
    // Keeps an unusable file as "<path>.damaged". False (see lastError()) when it could not be moved.
    bool setAsideDamaged();
    QString damagedPath() const { return path_ + QStringLiteral(".damaged"); }

    // Takes the contents from the bytes of an INI file, as open() does from disk.
    void parse(const QByteArray &data);
    // The file's bytes as the next commit stores them.
    QByteArray toBytes() const;
    // Why `data` is no settings text (empty when it is): a byte 0, a control
    // byte, or a UTF-8 mark on bytes that are not UTF-8. Other bytes that are
    // not UTF-8 are the 8-bit text of older files.
    static QString whyNotText(const QByteArray &data);

    bool hasKey(const QString &section, const QString &key) const;
    QString readString(const QString &section, const QString &key, const QString &def) const;
    int readInteger(const QString &section, const QString &key, int def) const;
    // Any non-zero number is true; "true"/"false" are accepted too.
    bool readBool(const QString &section, const QString &key, bool def) const;
    // Written as HH:mm:ss / yyyy-MM-dd; the locale's forms are accepted on reading.
    QTime readTime(const QString &section, const QString &key, const QTime &def) const;
    QDate readDate(const QString &section, const QString &key, const QDate &def) const;

    // Changes in memory, stored by the next commit().
    void writeString(const QString &section, const QString &key, const QString &value);
    void writeInteger(const QString &section, const QString &key, int value);
    void writeBool(const QString &section, const QString &key, bool value); // 1 / 0
    void writeTime(const QString &section, const QString &key, const QTime &value);
    void writeDate(const QString &section, const QString &key, const QDate &value);
    void eraseKey(const QString &section, const QString &key);

    // Stores the changes since the last commit in one atomic replacement of the
    // file (nothing to store: nothing written). On failure the file stays as it
    // was, the changes are dropped so that memory and file agree again,
    // lastError() names the file and the reason, and the failure handler hears it.
    bool commit();
    bool hasChanges() const { return changed_; }
    const QString &lastError() const { return lastError_; }
    void setFailureHandler(std::function<void(const QString &message)> handler) {
        failed_ = std::move(handler);
    }
    void setByteWriter(ByteWriter writer) { writer_ = std::move(writer); }

private:
    struct Line {
        QString text;    // the line as read (kept verbatim when not rewritten)
        QString section; // section the line belongs to ("" before the first header)
        QString key;     // key of a key=value line, else empty
        bool header = false;
    };
    const Line *find(const QString &section, const QString &key) const;
    void set(const QString &section, const QString &key, const QString &value);
    bool store(QString &reason) const;
    bool fail(const QString &message);

    QString path_;
    std::vector<Line> lines_;
    std::vector<Line> committed_; // the lines as the file holds them
    bool legacy8Bit_ = false;     // the file was 8-bit text, not UTF-8
    bool changed_ = false;
    bool damaged_ = false; // an unusable file is still in the way
    QString problem_;
    QString lastError_;
    std::function<void(const QString &)> failed_;
    ByteWriter writer_;
};

} // namespace varnelo
