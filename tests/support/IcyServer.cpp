#include "support/IcyServer.h"

#include "support/ChildProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QMetaObject>
#include <QRandomGenerator>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace varnelo::test {

QByteArray contentTypeOf(ToneFormat format) {
    switch (format) {
    case ToneFormat::Mp3:
        return "audio/mpeg";
    case ToneFormat::Aac:
        return "audio/aac";
    case ToneFormat::OggVorbis:
    case ToneFormat::OggOpus:
        return "application/ogg";
    }
    return {};
}

QByteArray makeTone(const Tone &tone, const QString &folder) {
    static int counter = 0;
    QString name;
    QStringList codec;
    switch (tone.format) {
    case ToneFormat::Mp3:
        name = QStringLiteral("tone.mp3");
        codec = {QStringLiteral("-c:a"),
                 QStringLiteral("libmp3lame"),
                 QStringLiteral("-b:a"),
                 QStringLiteral("128k"),
                 QStringLiteral("-write_xing"),
                 QStringLiteral("0"),
                 QStringLiteral("-id3v2_version"),
                 QStringLiteral("0"),
                 QStringLiteral("-f"),
                 QStringLiteral("mp3")};
        break;
    case ToneFormat::Aac:
        name = QStringLiteral("tone.aac");
        codec = {QStringLiteral("-c:a"), QStringLiteral("aac"), QStringLiteral("-b:a"),
                 QStringLiteral("128k"), QStringLiteral("-f"),  QStringLiteral("adts")};
        break;
    case ToneFormat::OggVorbis:
        name = QStringLiteral("tone.ogg");
        codec = {QStringLiteral("-c:a"), QStringLiteral("libvorbis"), QStringLiteral("-q:a"),
                 QStringLiteral("4"),    QStringLiteral("-f"),        QStringLiteral("ogg")};
        break;
    case ToneFormat::OggOpus:
        name = QStringLiteral("tone.opus");
        codec = {QStringLiteral("-ar"),     QStringLiteral("48000"), QStringLiteral("-c:a"),
                 QStringLiteral("libopus"), QStringLiteral("-b:a"),  QStringLiteral("96k"),
                 QStringLiteral("-f"),      QStringLiteral("ogg")};
        break;
    }
    const QString path = QDir(folder).filePath(QString::number(++counter) + name);
    QStringList args = {QStringLiteral("-hide_banner"),
                        QStringLiteral("-loglevel"),
                        QStringLiteral("error"),
                        QStringLiteral("-y"),
                        QStringLiteral("-f"),
                        QStringLiteral("lavfi"),
                        QStringLiteral("-i"),
                        QStringLiteral("sine=frequency=%1:sample_rate=44100:duration=%2")
                            .arg(tone.frequency)
                            .arg(tone.seconds),
                        QStringLiteral("-ac"),
                        QStringLiteral("2")};
    if (!tone.title.isEmpty())
        args << QStringLiteral("-metadata") << QStringLiteral("title=") + tone.title;
    if (!tone.artist.isEmpty())
        args << QStringLiteral("-metadata") << QStringLiteral("artist=") + tone.artist;
    if (tone.serialOffset)
        args << QStringLiteral("-serial_offset") << QString::number(tone.serialOffset);
    args << codec << path;
    if (runTool(QStringLiteral("ffmpeg"), args) != 0)
        return {};
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray streamTitle(const QString &title) {
    return "StreamTitle='" + title.toUtf8() + "';StreamUrl='';";
}

namespace {
constexpr int TickMs = 20;
constexpr qint64 MaxQueued = 64 * 1024; // bytes the server lets pile up in a slow client's socket

struct Route {
    enum class Kind { Mount, File, Redirect } kind = Kind::File;
    IcyMount mount;
    QByteArray contentType;
    QByteArray body;
    QString location;
    int code = 302;
    int connections = 0;
    QList<QByteArray> lastRequest;
};

struct Client {
    QTcpSocket *socket = nullptr;
    QByteArray request;
    Route *route = nullptr;
    bool streaming = false;
    bool metadata = false; // the client asked for metadata blocks
    bool drop = false;     // this connection closes after dropAfterBytes
    QElapsedTimer clock;
    qint64 lastTickMs = 0;
    double budget = 0;   // bytes allowed to go out now
    qint64 audioPos = 0; // position in the mount's audio
    qint64 audioSent = 0;
    qint64 untilMeta = 0;
    int metaIndexSent = -1;
    QByteArray pendingHead; // for the trickling variants
    bool stalled = false;
    Hostile hostile = Hostile::None; // the mount's, or this connection's turn in its cycle
};
} // namespace

// What the test's thread and the server's thread both touch, always under the mutex.
struct IcyServer::Shared {
    mutable std::mutex mutex;
    std::map<QByteArray, Route> routes; // nodes stay put: clients point into them
    int openCount = 0;
    bool quit = false;
};

// Lives and dies on the server's thread.
class IcyServer::Worker : public QObject {
public:
    Worker(Shared &shared, QEventLoop &loop) : shared_(shared), loop_(loop) {}
    ~Worker() override { shutdown(); }

    quint16 listen(const TlsIdentity *tls) {
        if (tls) {
            auto *server = new QSslServer(this);
            QSslConfiguration config = QSslConfiguration::defaultConfiguration();
            config.setLocalCertificate(QSslCertificate(tls->certificatePem, QSsl::Pem));
            config.setPrivateKey(QSslKey(tls->keyPem, QSsl::Rsa, QSsl::Pem));
            server->setSslConfiguration(config);
            server_ = server;
        } else {
            server_ = new QTcpServer(this);
        }
        if (!server_->listen(QHostAddress::LocalHost, 0))
            return 0;
        QObject::connect(server_, &QTcpServer::newConnection, this, &Worker::accept);
        // A TLS connection becomes pending only once its handshake is done.
        QObject::connect(server_, &QTcpServer::pendingConnectionAvailable, this, &Worker::accept);
        timer_ = new QTimer(this);
        QObject::connect(timer_, &QTimer::timeout, this, &Worker::tick);
        timer_->start(TickMs);
        return server_->serverPort();
    }

    void shutdown() {
        if (timer_)
            timer_->stop();
        // abort() reports the disconnection at once: leave the map alone while it does.
        std::map<QTcpSocket *, Client> clients;
        clients.swap(clients_);
        for (auto &[socket, client] : clients) {
            QObject::disconnect(socket, nullptr, this, nullptr);
            socket->abort();
            delete socket;
        }
        std::lock_guard lock(shared_.mutex);
        shared_.openCount = 0;
        if (server_)
            server_->close();
    }

private:
    void accept() {
        while (QTcpSocket *socket = server_->nextPendingConnection()) {
            Client &client = clients_[socket];
            client.socket = socket;
            client.clock.start();
            {
                std::lock_guard lock(shared_.mutex);
                ++shared_.openCount;
            }
            QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
            QObject::connect(socket, &QTcpSocket::disconnected, this, [this, socket] { forget(socket); });
        }
    }

    void forget(QTcpSocket *socket) {
        if (clients_.erase(socket)) {
            std::lock_guard lock(shared_.mutex);
            --shared_.openCount;
        }
        socket->deleteLater();
    }

    void close(Client &client) { client.socket->disconnectFromHost(); }

    void readRequest(QTcpSocket *socket) {
        const auto it = clients_.find(socket);
        if (it == clients_.end())
            return;
        Client &client = it->second;
        if (client.route || client.streaming) {
            socket->readAll();
            return;
        }
        client.request += socket->readAll();
        if (client.request.size() > 16 * 1024)
            return close(client);
        const qsizetype end = client.request.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        QList<QByteArray> lines = client.request.left(end).split('\n');
        for (QByteArray &line : lines)
            line = line.trimmed();
        const QList<QByteArray> requestLine = lines.value(0).split(' ');
        const QByteArray path = requestLine.value(1);
        std::unique_lock lock(shared_.mutex);
        const auto route = shared_.routes.find(path);
        if (route == shared_.routes.end()) {
            lock.unlock();
            socket->write("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n");
            return close(client);
        }
        Route &r = route->second;
        ++r.connections;
        r.lastRequest = lines;
        const int connection = r.connections;
        lock.unlock();
        client.route = &r;
        switch (r.kind) {
        case Route::Kind::Redirect:
            socket->write("HTTP/1.0 " + QByteArray::number(r.code) +
                          " Moved\r\nLocation: " + r.location.toUtf8() + "\r\nContent-Length: 0\r\n\r\n");
            return close(client);
        case Route::Kind::File:
            socket->write("HTTP/1.0 200 OK\r\nContent-Type: " + r.contentType +
                          "\r\nContent-Length: " + QByteArray::number(r.body.size()) + "\r\n\r\n" + r.body);
            return close(client);
        case Route::Kind::Mount:
            break;
        }
        const IcyMount &m = r.mount;
        client.hostile = m.cycle.isEmpty() ? m.hostile : m.cycle.at((connection - 1) % m.cycle.size());
        if (m.refuseAfterDrops && connection > m.dropConnections) {
            socket->write("HTTP/1.0 503 Service Unavailable\r\nContent-Length: 0\r\n\r\n");
            return close(client);
        }
        client.drop = m.dropAfterBytes > 0 && connection <= m.dropConnections;
        client.metadata = m.metaint > 0 && std::any_of(lines.begin(), lines.end(), [](const QByteArray &l) {
                              return l.toLower().startsWith("icy-metadata:") && l.mid(13).trimmed() == "1";
                          });
        QByteArray head = m.statusLine + "\r\nContent-Type: " + m.contentType + "\r\n";
        for (const QByteArray &line : m.headers)
            head += line + "\r\n";
        if (client.metadata && m.announceMetaint)
            head += "icy-metaint:" + QByteArray::number(m.metaint) + "\r\n";
        switch (client.hostile) {
        case Hostile::EndlessHeaderLine:
            socket->write(m.statusLine + "\r\nicy-name:");
            break;
        case Hostile::EndlessHeaders:
            socket->write(m.statusLine + "\r\n");
            break;
        case Hostile::TrickleHeaders:
            client.pendingHead = head + "\r\n";
            break;
        default:
            socket->write(head + "\r\n");
            break;
        }
        client.untilMeta = m.metaint;
        client.budget =
            m.bytesPerSecond; // a first second's burst, as servers send to fill the player's buffer
        client.lastTickMs = 0;
        client.clock.restart();
        client.streaming = true;
    }

    void tick() {
        {
            std::lock_guard lock(shared_.mutex);
            if (shared_.quit) {
                loop_.quit();
                return;
            }
        }
        // Feeding may close a connection, which takes it out of the map.
        std::vector<QTcpSocket *> sockets;
        for (const auto &[socket, client] : clients_)
            sockets.push_back(socket);
        for (QTcpSocket *socket : sockets) {
            const auto it = clients_.find(socket);
            if (it != clients_.end() && it->second.streaming)
                feed(it->second);
        }
    }

    QByteArray metadataBlock(Client &client, const IcyMount &m) {
        if (client.hostile == Hostile::Meta255NoTerminator) {
            QByteArray text = "StreamTitle='";
            text += QByteArray(4080 - text.size(), 'x');
            return char(255) + text;
        }
        if (client.hostile == Hostile::Meta255Stall) {
            client.stalled = true;
            return char(255) + QByteArray(100, 'x');
        }
        if (m.metadata.isEmpty())
            return QByteArray(1, '\0');
        const int index = int(std::min<qint64>(client.clock.elapsed() / std::max(1, m.metadataIntervalMs),
                                               m.metadata.size() - 1));
        if (index == client.metaIndexSent)
            return QByteArray(1, '\0');
        client.metaIndexSent = index;
        QByteArray text = m.metadata.at(index).left(255 * 16);
        const int blocks = int((text.size() + 15) / 16);
        text.append(QByteArray(blocks * 16 - text.size(), '\0'));
        return char(blocks) + text;
    }

    void feed(Client &client) {
        QTcpSocket *socket = client.socket;
        const IcyMount &m = client.route->mount;
        const qint64 now = client.clock.elapsed();
        const qint64 elapsed = now - client.lastTickMs;
        switch (client.hostile) {
        case Hostile::EndlessHeaderLine:
            if (socket->bytesToWrite() < MaxQueued)
                socket->write(QByteArray(8192, 'x'));
            return;
        case Hostile::EndlessHeaders:
            if (socket->bytesToWrite() < MaxQueued)
                for (int i = 0; i < 200; ++i)
                    socket->write("x-filler: " + QByteArray::number(client.audioSent++) + "\r\n");
            return;
        case Hostile::TrickleHeaders:
            if (elapsed >= 300 && !client.pendingHead.isEmpty()) {
                client.lastTickMs = now;
                socket->write(client.pendingHead.left(1));
                client.pendingHead.remove(0, 1);
            }
            return;
        case Hostile::StallAfterHeaders:
            return;
        case Hostile::TrickleAudio:
            if (elapsed >= 100) {
                client.lastTickMs = now;
                socket->write(m.audio.mid(client.audioPos++ % m.audio.size(), 1));
            }
            return;
        default:
            break;
        }
        if (client.stalled)
            return;
        client.lastTickMs = now;
        client.budget = std::min<double>(client.budget + double(m.bytesPerSecond) * double(elapsed) / 1000.0,
                                         2.0 * m.bytesPerSecond);
        while (client.budget >= 1 && socket->bytesToWrite() < MaxQueued) {
            if (!m.loop && client.audioPos >= m.audio.size())
                return close(client);
            if (client.drop && client.audioSent >= m.dropAfterBytes)
                return close(client);
            qint64 n = std::min<qint64>(qint64(client.budget), 4096);
            if (client.metadata)
                n = std::min(n, client.untilMeta);
            if (client.drop)
                n = std::min<qint64>(n, m.dropAfterBytes - client.audioSent);
            QByteArray chunk;
            if (client.hostile == Hostile::Garbage) {
                chunk.resize(n);
                for (char &c : chunk)
                    c = char(QRandomGenerator::global()->bounded(256));
            } else {
                const qint64 pos = client.audioPos % m.audio.size();
                chunk = m.audio.mid(pos, std::min<qint64>(n, m.audio.size() - pos));
                if (!m.loop)
                    chunk = m.audio.mid(client.audioPos, n);
            }
            socket->write(chunk);
            client.audioPos += chunk.size();
            client.audioSent += chunk.size();
            client.budget -= double(chunk.size());
            if (client.metadata) {
                client.untilMeta -= chunk.size();
                if (client.untilMeta == 0) {
                    socket->write(metadataBlock(client, m));
                    client.untilMeta = m.metaint;
                    if (client.stalled)
                        return;
                }
            }
        }
    }

    QTcpServer *server_ = nullptr;
    QTimer *timer_ = nullptr;
    std::map<QTcpSocket *, Client> clients_;
    Shared &shared_;
    QEventLoop &loop_;
};

IcyServer::IcyServer() : shared_(std::make_unique<Shared>()) {}

IcyServer::~IcyServer() {
    if (thread_.joinable()) {
        {
            std::lock_guard lock(shared_->mutex);
            shared_->quit = true; // the worker's next tick ends its event loop
        }
        thread_.join();
    }
}

// The worker is made and ended on the server's own plain thread; the port comes
// back and the end is asked for through a plain mutex. Nothing crosses threads
// through Qt's event queue, whose locks the thread sanitizer cannot see.
bool IcyServer::listen(std::optional<TlsIdentity> tls) {
    if (thread_.joinable())
        return false;
    std::mutex mutex;
    std::condition_variable ready;
    bool done = false;
    quint16 port = 0;
    thread_ = std::thread([&, shared = shared_.get(), tls] {
        QEventLoop loop;
        Worker worker(*shared, loop);
        const quint16 listening = worker.listen(tls ? &*tls : nullptr);
        {
            // Notified under the lock: the waiting side owns the condition and may end it at once.
            std::lock_guard lock(mutex);
            port = listening;
            done = true;
            ready.notify_all();
        }
        if (listening)
            loop.exec();
    });
    std::unique_lock lock(mutex);
    ready.wait(lock, [&] { return done; });
    port_ = port;
    tls_ = tls.has_value();
    return port != 0;
}

bool IcyServer::start() {
    return listen(std::nullopt);
}

bool IcyServer::startTls(const TlsIdentity &identity) {
    return listen(identity);
}

TlsIdentity makeTestIdentity(const QString &folder) {
    const QString key = QDir(folder).filePath(QStringLiteral("key.pem"));
    const QString cert = QDir(folder).filePath(QStringLiteral("cert.pem"));
    const int rc = runTool(QStringLiteral("openssl"),
                           {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                            QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-keyout"),
                            key, QStringLiteral("-out"), cert, QStringLiteral("-days"), QStringLiteral("2"),
                            QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                            QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1")});
    if (rc != 0)
        return {};
    QFile certFile(cert);
    QFile keyFile(key);
    if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly))
        return {};
    return {certFile.readAll(), keyFile.readAll()};
}

quint16 IcyServer::port() const {
    return port_;
}

QString IcyServer::url(const QString &path) const {
    return QStringLiteral("%1://127.0.0.1:%2%3")
        .arg(tls_ ? QStringLiteral("https") : QStringLiteral("http"))
        .arg(port_)
        .arg(path);
}

static void addRoute(IcyServer::Shared &shared, const QString &path, Route route) {
    std::lock_guard lock(shared.mutex);
    shared.routes[path.toUtf8()] = std::move(route);
}

void IcyServer::addMount(const QString &path, IcyMount mount) {
    Route route;
    route.kind = Route::Kind::Mount;
    route.mount = std::move(mount);
    addRoute(*shared_, path, std::move(route));
}

void IcyServer::addFile(const QString &path, const QByteArray &contentType, const QByteArray &body) {
    Route route;
    route.kind = Route::Kind::File;
    route.contentType = contentType;
    route.body = body;
    addRoute(*shared_, path, std::move(route));
}

void IcyServer::addRedirect(const QString &path, const QString &location, int code) {
    Route route;
    route.kind = Route::Kind::Redirect;
    route.location = location;
    route.code = code;
    addRoute(*shared_, path, std::move(route));
}

int IcyServer::connections(const QString &path) const {
    std::lock_guard lock(shared_->mutex);
    const auto it = shared_->routes.find(path.toUtf8());
    return it == shared_->routes.end() ? 0 : it->second.connections;
}

QList<QByteArray> IcyServer::lastRequest(const QString &path) const {
    std::lock_guard lock(shared_->mutex);
    const auto it = shared_->routes.find(path.toUtf8());
    return it == shared_->routes.end() ? QList<QByteArray>() : it->second.lastRequest;
}

int IcyServer::openConnections() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->openCount;
}

} // namespace varnelo::test
