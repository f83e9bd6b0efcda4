#include "desktop/FileAssociation.h"

#include "common/Error.h"
#include "common/Seams.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>
#include <optional>

namespace varnelo {
namespace xdg {
namespace {

const QByteArray DefaultsGroup = QByteArrayLiteral("Default Applications");
const QByteArray EntryGroup = QByteArrayLiteral("Desktop Entry");
const QByteArray OwnMarkKey = QByteArrayLiteral("X-Varnelo-Association");

// The lines of a key file; a final newline is not an extra empty line.
QList<QByteArray> lines(const QByteArray &bytes) {
    QList<QByteArray> out = bytes.split('\n');
    if (bytes.endsWith('\n'))
        out.removeLast();
    if (bytes.isEmpty())
        out.clear();
    for (QByteArray &line : out)
        if (line.endsWith('\r'))
            line.chop(1);
    return out;
}

QByteArray joined(const QList<QByteArray> &list) {
    QByteArray out;
    for (const QByteArray &line : list)
        out += line + '\n';
    return out;
}

// "[Name]" gives Name; any other line gives nothing.
std::optional<QByteArray> groupOf(const QByteArray &line) {
    const QByteArray t = line.trimmed();
    if (t.size() >= 2 && t.startsWith('[') && t.endsWith(']'))
        return t.mid(1, t.size() - 2);
    return std::nullopt;
}

// The key of a "key=value" line (blanks around "=" ignored); empty for comments.
QByteArray keyOf(const QByteArray &line) {
    if (line.trimmed().startsWith('#'))
        return {};
    const qsizetype eq = line.indexOf('=');
    return eq < 0 ? QByteArray() : line.left(eq).trimmed();
}

QByteArray valueOf(const QByteArray &line) {
    return line.mid(line.indexOf('=') + 1).trimmed();
}

QStringList listOf(const QByteArray &value) {
    QStringList out;
    for (const QByteArray &item : value.split(';')) {
        const QString s = QString::fromUtf8(item.trimmed());
        if (!s.isEmpty())
            out << s;
    }
    return out;
}

QByteArray listLine(const QString &key, const QStringList &items) {
    return (key + QLatin1Char('=') + items.join(QLatin1Char(';')) + QLatin1Char(';')).toUtf8();
}

// Calls `f(index)` for every line of `group` whose key is `key`.
template <typename F>
void forKeys(const QList<QByteArray> &list, const QByteArray &group, const QByteArray &key, F f) {
    bool inside = false;
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (const auto g = groupOf(list[i]))
            inside = *g == group;
        else if (inside && keyOf(list[i]) == key)
            f(i);
    }
}

QByteArray valueIn(const QByteArray &bytes, const QByteArray &group, const QByteArray &key) {
    const QList<QByteArray> list = lines(bytes);
    std::optional<QByteArray> value;
    forKeys(list, group, key, [&](qsizetype i) {
        if (!value)
            value = valueOf(list[i]);
    });
    return value.value_or(QByteArray());
}

} // namespace

QStringList Defaults(const QByteArray &mimeapps, const QString &mimeType) {
    return listOf(valueIn(mimeapps, DefaultsGroup, mimeType.toUtf8()));
}

QByteArray WithDefault(const QByteArray &mimeapps, const QString &mimeType, const QString &desktopId) {
    QList<QByteArray> list = lines(mimeapps);
    const QByteArray key = mimeType.toUtf8();
    // The first line of the first defaults group is the one readers take.
    qsizetype header = -1, lastKey = -1, found = -1;
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (const auto g = groupOf(list[i])) {
            if (header >= 0)
                break;
            if (*g == DefaultsGroup)
                header = lastKey = i;
        } else if (header >= 0) {
            const QByteArray k = keyOf(list[i]);
            if (!k.isEmpty())
                lastKey = i;
            if (k == key && found < 0)
                found = i;
        }
    }
    if (found >= 0) {
        QStringList items = listOf(valueOf(list[found]));
        items.removeAll(desktopId);
        items.prepend(desktopId);
        list[found] = listLine(mimeType, items);
    } else if (header >= 0) {
        list.insert(lastKey + 1, listLine(mimeType, {desktopId}));
    } else {
        if (!list.isEmpty() && !list.last().trimmed().isEmpty())
            list << QByteArray();
        list << '[' + DefaultsGroup + ']' << listLine(mimeType, {desktopId});
    }
    return joined(list);
}

QByteArray WithoutDefault(const QByteArray &mimeapps, const QString &mimeType, const QString &desktopId) {
    QList<QByteArray> list = lines(mimeapps);
    std::vector<qsizetype> emptied;
    bool changed = false;
    forKeys(list, DefaultsGroup, mimeType.toUtf8(), [&](qsizetype i) {
        QStringList items = listOf(valueOf(list[i]));
        if (items.removeAll(desktopId) == 0)
            return;
        changed = true;
        if (items.isEmpty())
            emptied.push_back(i);
        else
            list[i] = listLine(mimeType, items);
    });
    if (!changed)
        return mimeapps;
    for (auto it = emptied.rbegin(); it != emptied.rend(); ++it)
        list.removeAt(*it);
    return joined(list);
}

QString ExecArgument(const QString &argument) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    const bool quote = argument.isEmpty() || std::any_of(argument.begin(), argument.end(),
                                                         [](QChar c) { return reserved.contains(c); });
    QString exec;
    if (quote) {
        exec += QLatin1Char('"');
        for (QChar c : argument) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                c == QLatin1Char('\\'))
                exec += QLatin1Char('\\');
            exec += c;
        }
        exec += QLatin1Char('"');
    } else {
        exec = argument;
    }
    exec.replace(QLatin1Char('%'), QStringLiteral("%%"));
    // The value is of the string type, whose own escapes apply first when read.
    QString value;
    for (QChar c : exec) {
        if (c == QLatin1Char('\\'))
            value += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            value += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            value += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            value += QStringLiteral("\\r");
        else
            value += c;
    }
    return value;
}

QByteArray DesktopEntry(const QString &executable, const QStringList &mimeTypes) {
    QString text;
    text += QStringLiteral("[Desktop Entry]\n"
                           "Type=Application\n"
                           "Name=Varnelo\n"
                           "Comment=Internet radio, music library, audio converter and CD ripper\n"
                           "Icon=varnelo\n");
    text += QStringLiteral("Exec=") + ExecArgument(executable) + QStringLiteral(" %f\n");
    text += QStringLiteral("Terminal=false\n"
                           "Categories=AudioVideo;Audio;\n");
    text += QString::fromUtf8(listLine(QStringLiteral("MimeType"), mimeTypes)) + QLatin1Char('\n');
    text += QString::fromLatin1(OwnMarkKey) + QStringLiteral("=true\n");
    return text.toUtf8();
}

QStringList EntryMimeTypes(const QByteArray &entry) {
    return listOf(valueIn(entry, EntryGroup, QByteArrayLiteral("MimeType")));
}

bool IsOwnEntry(const QByteArray &entry) {
    return valueIn(entry, EntryGroup, OwnMarkKey) == "true";
}

} // namespace xdg

namespace {

const char *const Extensions[] = {"mp3", "wav", "ogg", "wma"};

QString normalExtension(const QString &extension) {
    QString e = extension.toLower();
    if (e.startsWith(QLatin1Char('.')))
        e.remove(0, 1);
    return e;
}

// Types in the fixed order of the extensions, so the entry reads the same
// whatever order the types were added in.
QStringList inFixedOrder(const QStringList &types) {
    QStringList out;
    for (const char *ext : Extensions)
        for (const QString &t : FileAssociation::mimeTypes(QString::fromLatin1(ext)))
            if (types.contains(t))
                out << t;
    return out;
}

std::optional<QByteArray> readFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

bool writeFile(const QString &path, const QByteArray &bytes) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(bytes);
    return file.commit();
}

Error failedToSet(const QString &name) {
    return Error(QStringLiteral("Failed to set data for '%1'").arg(name));
}

} // namespace

FileAssociation::Places FileAssociation::userPlaces(const QString &executable) {
    Places p;
    p.applicationsFolder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                           QStringLiteral("/applications");
    p.mimeappsList = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                     QStringLiteral("/mimeapps.list");
    p.executable = executable;
    return p;
}

QStringList FileAssociation::mimeTypes(const QString &extension) {
    const QString e = normalExtension(extension);
    if (e == QLatin1String("mp3"))
        return {QStringLiteral("audio/mpeg")};
    if (e == QLatin1String("wav"))
        return {QStringLiteral("audio/x-wav"), QStringLiteral("audio/wav")};
    if (e == QLatin1String("ogg"))
        return {QStringLiteral("audio/ogg"), QStringLiteral("audio/x-vorbis+ogg")};
    if (e == QLatin1String("wma"))
        return {QStringLiteral("audio/x-ms-wma")};
    return {};
}

FileAssociation::FileAssociation(Places places, DesktopShell &shell)
    : places_(std::move(places)), shell_(shell) {}

QString FileAssociation::desktopEntryPath() const {
    return places_.applicationsFolder + QLatin1Char('/') + desktopId();
}

void FileAssociation::Associate(const QString &extension) {
    const QStringList types = mimeTypes(extension);
    if (types.isEmpty())
        return;
    // The entry: ours is rewritten with the type added; an installed one stays as it is.
    const QString entryPath = desktopEntryPath();
    const std::optional<QByteArray> entry = readFile(entryPath);
    if (!entry || xdg::IsOwnEntry(*entry)) {
        const QStringList listed =
            inFixedOrder((entry ? xdg::EntryMimeTypes(*entry) : QStringList()) + types);
        const QByteArray text = xdg::DesktopEntry(places_.executable, listed);
        if (text != entry && !writeFile(entryPath, text))
            throw failedToSet(entryPath);
    }
    QByteArray list = readFile(places_.mimeappsList).value_or(QByteArray());
    const QByteArray before = list;
    for (const QString &type : types)
        list = xdg::WithDefault(list, type, desktopId());
    if (list != before && !writeFile(places_.mimeappsList, list))
        throw failedToSet(places_.mimeappsList);
    shell_.associationsChanged(places_.applicationsFolder);
}

void FileAssociation::Unassociate(const QString &extension) {
    const QStringList types = mimeTypes(extension);
    if (types.isEmpty())
        return;
    if (const std::optional<QByteArray> list = readFile(places_.mimeappsList)) {
        QByteArray changed = *list;
        for (const QString &type : types)
            changed = xdg::WithoutDefault(changed, type, desktopId());
        if (changed != *list)
            writeFile(places_.mimeappsList, changed);
    }
    const QString entryPath = desktopEntryPath();
    if (const std::optional<QByteArray> entry = readFile(entryPath); entry && xdg::IsOwnEntry(*entry)) {
        QStringList listed = xdg::EntryMimeTypes(*entry);
        for (const QString &type : types)
            listed.removeAll(type);
        if (listed.isEmpty())
            QFile::remove(entryPath);
        else
            writeFile(entryPath, xdg::DesktopEntry(places_.executable, inFixedOrder(listed)));
    }
    shell_.associationsChanged(places_.applicationsFolder);
}

} // namespace varnelo
