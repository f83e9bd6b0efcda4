#include "common/SettingsFile.h"

#include <QFile>
#include <QLocale>
#include <QSaveFile>

namespace varnelo {
namespace {

bool sameName(const QString &a, const QString &b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

void SettingsFile::open(const QString &path) {
    path_ = path;
    reload();
}

void SettingsFile::reload() {
    lines_.clear();
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly))
        return;
    parse(file.readAll());
}

void SettingsFile::parse(const QByteArray &data) {
    lines_.clear();
    QString text = QString::fromUtf8(data);
    if (text.startsWith(QChar(0xFEFF)))
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

bool SettingsFile::set(const QString &section, const QString &key, const QString &value) {
    for (Line &line : lines_) {
        if (!line.header && !line.key.isEmpty() && sameName(line.section, section) &&
            sameName(line.key, key)) {
            line.text = line.key + QLatin1Char('=') + value;
            return save();
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
    return save();
}

bool SettingsFile::save() const {
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(toBytes());
    return file.commit();
}

QByteArray SettingsFile::toBytes() const {
    QByteArray data;
    for (const Line &line : lines_) {
        data += line.text.toUtf8();
        data += "\r\n";
    }
    return data;
}

bool SettingsFile::writeString(const QString &section, const QString &key, const QString &value) {
    return set(section, key, value);
}
bool SettingsFile::writeInteger(const QString &section, const QString &key, int value) {
    return set(section, key, QString::number(value));
}
bool SettingsFile::writeBool(const QString &section, const QString &key, bool value) {
    return set(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}
bool SettingsFile::writeTime(const QString &section, const QString &key, const QTime &value) {
    return set(section, key, value.toString(QStringLiteral("HH:mm:ss")));
}
bool SettingsFile::writeDate(const QString &section, const QString &key, const QDate &value) {
    return set(section, key, value.toString(QStringLiteral("yyyy-MM-dd")));
}

bool SettingsFile::eraseKey(const QString &section, const QString &key) {
    for (auto it = lines_.begin(); it != lines_.end(); ++it) {
        if (!it->header && !it->key.isEmpty() && sameName(it->section, section) && sameName(it->key, key)) {
            lines_.erase(it);
            return save();
        }
    }
    return true;
}

} // namespace varnelo
