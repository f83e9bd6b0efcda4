#pragma once
#include "desktop/DesktopNotifier.h"
#include "desktop/MprisService.h"

#include <QDBusConnection>
#include <QObject>
#include <memory>

namespace varnelo {

class MainWindow;

// The program on the desktop around it: the players behind the desktop's media
// controls (MPRIS) and the notices of new titles and of finished recordings,
// conversions and rips. Both follow the window's playback coordinator as it
// signals. Made after the window's dialogs; lives as long as the window.
class DesktopBinding : public QObject {
    Q_OBJECT
public:
    DesktopBinding(MainWindow &window, QDBusConnection bus = QDBusConnection::sessionBus(),
                   QObject *parent = nullptr);
    ~DesktopBinding() override;

    MprisService &mpris() { return *mpris_; }
    DesktopNotifier &notifier() { return *notifier_; }

    // What plays now, as the media controls show it.
    MediaStatus currentStatus();

private:
    MediaCommands commands();
    void playbackChanged();

    MainWindow &w_;
    std::unique_ptr<DesktopNotifier> notifier_;
    std::unique_ptr<MprisService> mpris_;
    // The stream title last told in a notice.
    QString streamTitle_;
    // What played when the track counter last moved.
    QString trackKey_;
    int track_ = 0;
    QString artUrl_;    // of the track trackKey_ names
    QString coverFile_; // the picture written out for it
    // The cover of a file that plays, for the desktop's media controls: the
    // picture in its tags (written out to a file, as they take a file's
    // address), else a cover.jpg / folder.jpg beside it; empty when none.
    QString coverUrlOf(const QString &file);
};

} // namespace varnelo
