#pragma once
#include "desktop/DesktopNotifier.h"
#include "desktop/MprisService.h"

#include <QDBusConnection>
#include <QObject>
#include <QTimer>
#include <memory>

namespace varnelo {

class Clock;
class MainWindow;

// The program on the desktop around it: the players behind the desktop's media
// controls (MPRIS) and the notices of new titles and of finished recordings,
// conversions and rips. Made after the window's dialogs; lives as long as the
// window.
class DesktopBinding : public QObject {
    Q_OBJECT
public:
    DesktopBinding(MainWindow &window, Clock &clock, QDBusConnection bus = QDBusConnection::sessionBus(),
                   QObject *parent = nullptr);
    ~DesktopBinding() override;

    MprisService &mpris() { return *mpris_; }
    DesktopNotifier &notifier() { return *notifier_; }

    // What plays now, as the media controls show it.
    MediaStatus currentStatus();

    // How often the players' state is looked at for changes to announce.
    static constexpr int RefreshMs = 250;

private:
    MediaCommands commands();
    void skinClick(const char *name);
    void stationTitle(std::uint32_t handle, const QString &title);

    MainWindow &w_;
    Clock &clock_;
    std::unique_ptr<DesktopNotifier> notifier_;
    std::unique_ptr<MprisService> mpris_;
    QTimer refresh_;
    // The radio: the station's name from its headers and its current title.
    QString stationName_;
    QString streamTitle_;
    // The local player: frames played since its last start, and the file's tags.
    qint64 localFrames_ = 0;
    QString taggedFile_;
    QString fileTitle_, fileArtist_, fileAlbum_;
    // What played when the track counter last moved.
    QString trackKey_;
    int track_ = 0;
};

} // namespace varnelo
