#pragma once
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

// The outside effects the operations need. The program uses the Qt and
// system implementations in platform/; tests use scripted fakes.
namespace varnelo {

enum class PromptIcon { None, Information, Question, Warning, Error };
enum class PromptButtons { Ok, OkCancel, YesNo };
enum class PromptAnswer { Ok, Cancel, Yes, No };
// The caption of every message box: the program's name.
inline QString dialogCaption() {
    return QStringLiteral("Varnelo");
}
// What a chosen folder is for: the output folder (stored by the chooser) or a folder to add to the library.
enum class FolderPurpose { OutputFolder, LibraryScan };

class Prompts {
public:
    virtual ~Prompts() = default;
    // A message box owned by the main window with exactly these texts.
    virtual PromptAnswer message(const QString &text, const QString &caption, PromptIcon icon,
                                 PromptButtons buttons) = 0;
    // A message box without caption text or icon (the plain "NO" and similar).
    virtual void plain(const QString &text) = 0;
    // Open dialog allowing several files; empty when cancelled.
    virtual QStringList openFiles(const QString &caption, const QString &folder, const QString &filter) = 0;
    // Folder chooser; empty when cancelled.
    virtual QString chooseFolder(const QString &caption, const QString &start, FolderPurpose purpose) = 0;
    // One of several items (album matches of a CD lookup); its index, -1 when cancelled.
    virtual int chooseItem(const QString &caption, const QString &text, const QStringList &items) {
        Q_UNUSED(caption);
        Q_UNUSED(text);
        return items.isEmpty() ? -1 : 0;
    }
};

class DesktopShell {
public:
    virtual ~DesktopShell() = default;
    virtual void openFolder(const QString &path) = 0;
    virtual void beep() = 0;
    // Switches the computer off without asking; false when the system refused.
    virtual bool powerOff() = 0;
    // False only when the system reports that no network is connected; asks no server.
    virtual bool networkReachable() = 0;

    // File associations changed: refresh the desktop database of this applications folder.
    virtual void associationsChanged(const QString &applicationsFolder) = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

// Station directory: the servers behind a name that lists every mirror of a
// service. The program asks the DNS; tests give a list of their own servers.
class MirrorLookup {
public:
    virtual ~MirrorLookup() = default;
    // Calls `done` once, on the caller's thread, with the servers' base
    // addresses ("https://host"); empty when none were found. Nothing is called
    // once `context` is destroyed.
    virtual void lookup(const QString &name, QObject *context, std::function<void(QStringList)> done) = 0;
};

} // namespace varnelo
