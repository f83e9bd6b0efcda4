#pragma once
#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

namespace varnelo {

// One running copy per user. A copy started while another runs hands its
// files to it over a local socket (or only asks it to come to the front) and
// ends; the running copy goes on untouched (a recording in progress is not
// cut) and plays what it was given.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // The socket: "varnelo.socket" in the user's runtime folder unless given.
    explicit SingleInstance(QString socketPath = {}, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Gives `files` to the running copy; true once it took them (this copy
    // should then end), false when none answers within `timeoutMs`. Blocks;
    // needs no event loop.
    bool handOff(const QStringList &files, int timeoutMs = 3000) const;
    // Becomes the copy others hand to; a socket a crashed copy left is
    // replaced. False when the socket cannot be made.
    bool listen();
    const QString &socketPath() const { return path_; }

    // What a hand-off carries at most: a few file names, not a stream.
    static constexpr qint64 MessageLimit = 64 * 1024;

Q_SIGNALS:
    // A later copy handed these files (none: it only asked for the window).
    void handedOver(const QStringList &files);

private:
    void readClient(QLocalSocket *client);

    QString path_;
    QLocalServer *server_ = nullptr;
};

} // namespace varnelo
