#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace varnelo {

class DesktopShell;

// Makes the program the opener of an audio file type the freedesktop way: a
// desktop entry "varnelo.desktop" in the user's applications folder that lists
// the associated types, and the user's default for each type in mimeapps.list
// (what `xdg-mime default` does), followed by a refresh of the desktop
// database. Un-association removes only what names this program: another
// program's default stays, and the entry goes when no type is left (and only
// when this program wrote it; an installed entry is left alone).
class FileAssociation {
public:
    struct Places {
        QString applicationsFolder; // $XDG_DATA_HOME/applications
        QString mimeappsList;       // $XDG_CONFIG_HOME/mimeapps.list
        QString executable;         // started with the opened file
    };
    // The user's folders (XDG_DATA_HOME, XDG_CONFIG_HOME or their defaults).
    static Places userPlaces(const QString &executable);
    static QString desktopId() { return QStringLiteral("varnelo.desktop"); }
    // The MIME types of "mp3", "wav", "ogg" or "wma"; empty for others.
    static QStringList mimeTypes(const QString &extension);

    FileAssociation(Places places, DesktopShell &shell);

    // Throws Error "Failed to set data for '<file>'" when a file cannot be written.
    void Associate(const QString &extension);
    // Failures are ignored.
    void Unassociate(const QString &extension);

    QString desktopEntryPath() const;
    const Places &places() const { return places_; }

private:
    Places places_;
    DesktopShell &shell_;
};

// The text operations behind it, over the bytes of files that others write too.
namespace xdg {

// The entries of `mimeType` under [Default Applications], in order.
QStringList Defaults(const QByteArray &mimeapps, const QString &mimeType);
// `desktopId` first for `mimeType`; the other entries stay after it, and every
// other line of the file is kept.
QByteArray WithDefault(const QByteArray &mimeapps, const QString &mimeType, const QString &desktopId);
// `desktopId` taken out of `mimeType`'s entries (the line goes when none is left).
QByteArray WithoutDefault(const QByteArray &mimeapps, const QString &mimeType, const QString &desktopId);

// One argument of an Exec key, quoted when it holds a reserved character, with
// the escapes of the Desktop Entry format ("%" doubled, backslashes
// written for the string type).
QString ExecArgument(const QString &argument);
// The whole entry this program writes for `mimeTypes`.
QByteArray DesktopEntry(const QString &executable, const QStringList &mimeTypes);
// The MimeType list of an entry, and whether this program wrote the entry.
QStringList EntryMimeTypes(const QByteArray &entry);
bool IsOwnEntry(const QByteArray &entry);

} // namespace xdg
} // namespace varnelo
