#include "common/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace varnelo {
namespace {

bool sameName(const QString &a, const QString &b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool isUtf8(const QByteArray &data) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    [[maybe_unused]] const QString text = decoder(data);
    return !decoder.hasError();
}

std::filesystem::file_status statusOf(const QString &path) {
    std::error_code ignored;
    return std::filesystem::status(QFile::encodeName(path).toStdString(), ignored);
}

bool writeAll(QIODevice &out, const QByteArray &bytes, QString &reason) {
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 written = out.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0) {
            reason =
                out.errorString().isEmpty() ? QStringLiteral("the disk takes no more") : out.errorString();
            return false;
        }
        done += written;
    }
    return true;
}

} // namespace

bool SettingsFile::open(const QString &path) {
    path_ = path;
    lines_.clear();
    committed_.clear();
    legacy8Bit_ = false;
    changed_ = false;
    damaged_ = false;
    problem_.clear();
    const auto unusable = [this](const QString &reason) {
        problem_ = QStringLiteral("The settings file %1 cannot be read: %2.")
                       .arg(QDir::toNativeSeparators(path_), reason);
        damaged_ = true;
        return false;
    };
    const auto status = statusOf(path);
    if (status.type() == std::filesystem::file_type::not_found)
        return true;
    // A pipe or a device would block the reading or be replaced by the first commit.
    if (!std::filesystem::is_regular_file(status))
        return unusable(QStringLiteral("it is not a regular file"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return unusable(file.errorString());
    // Settings take a few kilobytes; a file of many megabytes is not ours and is never read whole.
    constexpr qint64 MaxSettingsBytes = 4 << 20;
    if (file.size() > MaxSettingsBytes)
        return unusable(QStringLiteral("it is larger than 4 MB, far more than settings ever take"));
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return unusable(file.errorString());
    if (const QString why = whyNotText(data); !why.isEmpty())
        return unusable(why);
    parse(data);
    committed_ = lines_;
    return true;
}

bool SettingsFile::reload() {
    return open(path_);
}

bool SettingsFile::setAsideDamaged() {
    if (!damaged_)
        return true;
    if (std::rename(QFile::encodeName(path_).constData(), QFile::encodeName(damagedPath()).constData()) !=
        0) {
        lastError_ = QStringLiteral("The settings file %1 could not be kept as %2: %3.")
                         .arg(QDir::toNativeSeparators(path_), QDir::toNativeSeparators(damagedPath()),
                              QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    damaged_ = false;
    return true;
}

QString SettingsFile::whyNotText(const QByteArray &data) {
    for (qsizetype i = 0; i < data.size(); ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        if (c == 0)
            return QStringLiteral("it holds a byte 0 at offset %1").arg(i);
        // Tab, line ends, form feed and the old end-of-file mark occur in text files.
        const bool textControl = c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == 0x1A;
        if ((c < 0x20 && !textControl) || c == 0x7F)
            return QStringLiteral("it holds the control byte 0x%1 at offset %2")
                .arg(c, 2, 16, QLatin1Char('0'))
                .arg(i);
    }
    if (data.startsWith("\xEF\xBB\xBF") && !isUtf8(data))
        return QStringLiteral("it is marked as UTF-8 but is not UTF-8");
    return {};
}

void SettingsFile::parse(const QByteArray &data) {
    lines_.clear();
    // Files of older versions are 8-bit text; Latin-1 takes every byte as one
    // character and gives the same bytes back when stored.
    legacy8Bit_ = !isUtf8(data);
    QString text = legacy8Bit_ ? QString::fromLatin1(data) : QString::fromUtf8(data);
    // Some editors write the byte-order mark twice; a mark left at the start would
    // hide the first section, and each store would drop one more.
    while (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    QString section;
    const QStringList rows = text.split(QLatin1Char('\n'));
    for (int i = 0; i < rows.size(); ++i) {
        QString row = rows[i];
        if (row.endsWith(QLatin1Char('\r')))
            row.chop(1);
        if (i == rows.size() - 1 && row.isEmpty())
            break; // the newline that ends the last line
        Line line;
        line.text = row;
        const QString t = row.trimmed();
        if (t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']'))) {
            section = t.mid(1, t.size() - 2).trimmed();
            line.header = true;
        } else if (!t.startsWith(QLatin1Char(';')) && t.contains(QLatin1Char('='))) {
            line.key = t.left(t.indexOf(QLatin1Char('='))).trimmed();
        }
        line.section = section;
        lines_.push_back(line);
    }
}

const SettingsFile::Line *SettingsFile::find(const QString &section, const QString &key) const {
    for (const Line &line : lines_)
        if (!line.header && !line.key.isEmpty() && sameName(line.section, section) && sameName(line.key, key))
            return &line;
    return nullptr;
}

bool SettingsFile::hasKey(const QString &section, const QString &key) const {
    return find(section, key) != nullptr;
}

QString SettingsFile::readString(const QString &section, const QString &key, const QString &def) const {
    const Line *line = find(section, key);
    if (!line)
        return def;
    return line->text.mid(line->text.indexOf(QLatin1Char('=')) + 1);
}

int SettingsFile::readInteger(const QString &section, const QString &key, int def) const {
    const Line *line = find(section, key);
    if (!line)
        return def;
    QString v = readString(section, key, QString()).trimmed();
    bool ok = false;
    int value = 0;
    if (v.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        value = v.mid(2).toInt(&ok, 16);
    else if (v.startsWith(QLatin1Char('$')))
        value = v.mid(1).toInt(&ok, 16);
    else
        value = v.toInt(&ok, 10);
    return ok ? value : def;
}

bool SettingsFile::readBool(const QString &section, const QString &key, bool def) const {
    if (!hasKey(section, key))
        return def;
    const QString v = readString(section, key, QString()).trimmed();
    if (sameName(v, QStringLiteral("true")))
        return true;
    if (sameName(v, QStringLiteral("false")))
        return false;
    bool ok = false;
    const long long n = v.toLongLong(&ok);
    return ok ? n != 0 : def;
}

QTime SettingsFile::readTime(const QString &section, const QString &key, const QTime &def) const {
    if (!hasKey(section, key))
        return def;
    const QString v = readString(section, key, QString()).trimmed();
    for (const QString &fmt :
         {QStringLiteral("HH:mm:ss"), QStringLiteral("H:mm:ss"), QStringLiteral("HH:mm")}) {
        const QTime t = QTime::fromString(v, fmt);
        if (t.isValid())
            return t;
    }
    const QLocale locale;
    for (auto f : {QLocale::LongFormat, QLocale::ShortFormat}) {
        const QTime t = locale.toTime(v, f);
        if (t.isValid())
            return t;
    }
    return def;
}

QDate SettingsFile::readDate(const QString &section, const QString &key, const QDate &def) const {
    if (!hasKey(section, key))
        return def;
    const QString v = readString(section, key, QString()).trimmed();
    QDate d = QDate::fromString(v, QStringLiteral("yyyy-MM-dd"));
    if (d.isValid())
        return d;
    const QLocale locale;
    for (auto f : {QLocale::ShortFormat, QLocale::LongFormat}) {
        d = locale.toDate(v, f);
        if (d.isValid())
            return d;
    }
    return def;
}

void SettingsFile::set(const QString &section, const QString &key, const QString &value) {
    changed_ = true;
    for (Line &line : lines_) {
        if (!line.header && !line.key.isEmpty() && sameName(line.section, section) &&
            sameName(line.key, key)) {
            line.text = line.key + QLatin1Char('=') + value;
            return;
        }
    }
    Line entry;
    entry.section = section;
    entry.key = key;
    entry.text = key + QLatin1Char('=') + value;
    // Append after the last line of the section, or start the section at the end.
    int lastOfSection = -1;
    for (int i = 0; i < static_cast<int>(lines_.size()); ++i)
        if (sameName(lines_[i].section, section) && (lines_[i].header || !lines_[i].text.trimmed().isEmpty()))
            lastOfSection = i;
    if (lastOfSection >= 0) {
        entry.section = lines_[lastOfSection].section;
        lines_.insert(lines_.begin() + lastOfSection + 1, entry);
    } else {
        Line header;
        header.header = true;
        header.section = section;
        header.text = QLatin1Char('[') + section + QLatin1Char(']');
        lines_.push_back(header);
        lines_.push_back(entry);
    }
}

bool SettingsFile::commit() {
    if (!changed_)
        return true;
    if (damaged_)
        return fail(QStringLiteral("the unreadable file there has not been kept aside"));
    QString reason;
    if (!store(reason))
        return fail(reason);
    committed_ = lines_;
    changed_ = false;
    return true;
}

bool SettingsFile::fail(const QString &reason) {
    lines_ = committed_;
    changed_ = false;
    lastError_ = QStringLiteral("The settings could not be saved to %1: %2. The file was left as it was.")
                     .arg(QDir::toNativeSeparators(path_), reason);
    if (failed_)
        failed_(lastError_);
    return false;
}

bool SettingsFile::store(QString &reason) const {
    // Through a link the file it names is replaced and the link kept.
    const QFileInfo info(path_);
    const QString target = info.isSymLink() ? info.symLinkTarget() : path_;
    const auto status = statusOf(target);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        reason = QStringLiteral("it is not a regular file");
        return false;
    }
    QSaveFile file(target);
    // Unbuffered: a short write (a full disk) shows here, where a buffered one
    // was lost in the flush and the cut file took the old one's place.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        reason = file.errorString();
        return false;
    }
    if (!(writer_ ? writer_ : ByteWriter(writeAll))(file, toBytes(), reason)) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        reason = file.errorString();
        return false;
    }
    return true;
}

QByteArray SettingsFile::toBytes() const {
    QString text;
    for (const Line &line : lines_) {
        text += line.text;
        text += QLatin1String("\r\n");
    }
    // An 8-bit file stays 8-bit while every character fits.
    if (legacy8Bit_ && std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 0xFF; }))
        return text.toLatin1();
    return text.toUtf8();
}

void SettingsFile::writeString(const QString &section, const QString &key, const QString &value) {
    set(section, key, value);
}
void SettingsFile::writeInteger(const QString &section, const QString &key, int value) {
    set(section, key, QString::number(value));
}
void SettingsFile::writeBool(const QString &section, const QString &key, bool value) {
    set(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}
void SettingsFile::writeTime(const QString &section, const QString &key, const QTime &value) {
    set(section, key, value.toString(QStringLiteral("HH:mm:ss")));
}
void SettingsFile::writeDate(const QString &section, const QString &key, const QDate &value) {
    set(section, key, value.toString(QStringLiteral("yyyy-MM-dd")));
}

void SettingsFile::eraseKey(const QString &section, const QString &key) {
    for (auto it = lines_.begin(); it != lines_.end(); ++it) {
        if (!it->header && !it->key.isEmpty() && sameName(it->section, section) && sameName(it->key, key)) {
            lines_.erase(it);
            changed_ = true;
            return;
        }
    }
}

} // namespace varnelo
