#include "support/DirectoryServer.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>
#include <future>
#include <map>
#include <mutex>

namespace varnelo::test {

QByteArray HttpRequest::header(const QByteArray &name) const {
    for (const QByteArray &line : headerLines) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower())
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

struct DirectoryServer::Shared {
    Handler handler;
    mutable std::mutex mutex;
    QList<HttpRequest> requests;
    QObject *worker = nullptr;
    QEventLoop *loop = nullptr;
};

namespace {

QString formDecoded(QByteArray part) {
    part.replace('+', ' ');
    return QString::fromUtf8(QByteArray::fromPercentEncoding(part));
}

QByteArray reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

// Lives and dies on the server's thread.
class Worker : public QObject {
public:
    explicit Worker(DirectoryServer::Shared &shared) : shared_(shared) {}
    ~Worker() override {
        for (auto &[socket, buffer] : clients_) {
            QObject::disconnect(socket, nullptr, this, nullptr);
            socket->abort();
            delete socket;
        }
    }

    quint16 listen() {
        if (!server_.listen(QHostAddress::LocalHost, 0))
            return 0;
        QObject::connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = server_.nextPendingConnection()) {
                clients_[socket];
                QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
                QObject::connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                    clients_.erase(socket);
                    socket->deleteLater();
                });
            }
        });
        return server_.serverPort();
    }

private:
    void read(QTcpSocket *socket) {
        const auto it = clients_.find(socket);
        if (it == clients_.end())
            return;
        QByteArray &buffer = it->second;
        if (buffer == "answered") {
            socket->readAll();
            return;
        }
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0) {
            if (buffer.size() > 64 * 1024)
                socket->abort();
            return;
        }
        QList<QByteArray> lines = buffer.left(end).split('\n');
        for (QByteArray &line : lines)
            line = line.trimmed();
        buffer = "answered";
        const QList<QByteArray> first = lines.takeFirst().split(' ');
        HttpRequest request;
        request.method = first.value(0);
        const QByteArray target = first.value(1);
        const qsizetype mark = target.indexOf('?');
        request.path = QString::fromUtf8(mark < 0 ? target : target.left(mark));
        if (mark >= 0)
            for (const QByteArray &pair : target.mid(mark + 1).split('&')) {
                const qsizetype eq = pair.indexOf('=');
                request.query.insert(formDecoded(eq < 0 ? pair : pair.left(eq)),
                                     eq < 0 ? QString() : formDecoded(pair.mid(eq + 1)));
            }
        request.headerLines = lines;
        {
            std::lock_guard lock(shared_.mutex);
            shared_.requests.append(request);
        }
        const HttpReply reply = shared_.handler(request);
        switch (reply.kind) {
        case HttpReply::Kind::Stall:
            return;
        case HttpReply::Kind::Endless:
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: " + reply.contentType +
                          "\r\nConnection: close\r\n\r\n[");
            QObject::connect(socket, &QTcpSocket::bytesWritten, this, [socket] {
                if (socket->bytesToWrite() < 256 * 1024)
                    socket->write(QByteArray(64 * 1024, ' '));
            });
            socket->write(QByteArray(64 * 1024, ' '));
            return;
        case HttpReply::Kind::Normal:
            socket->write("HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reason(reply.status) +
                          "\r\nContent-Type: " + reply.contentType +
                          "\r\nContent-Length: " + QByteArray::number(reply.body.size()) +
                          "\r\nConnection: close\r\n\r\n" + reply.body);
            socket->disconnectFromHost();
            return;
        }
    }

    DirectoryServer::Shared &shared_;
    QTcpServer server_;
    std::map<QTcpSocket *, QByteArray> clients_;
};

QJsonArray take(const QJsonArray &all, const HttpRequest &r) {
    const int offset = r.query.value(QStringLiteral("offset")).toInt();
    const int limit = r.query.contains(QStringLiteral("limit"))
                          ? r.query.value(QStringLiteral("limit")).toInt()
                          : int(all.size());
    QJsonArray out;
    for (int i = offset; i < all.size() && i < offset + limit; ++i)
        out.append(all.at(i));
    return out;
}

HttpReply json(const QJsonArray &array) {
    return {HttpReply::Kind::Normal, 200, "application/json",
            QJsonDocument(array).toJson(QJsonDocument::Compact)};
}

} // namespace

DirectoryServer::DirectoryServer(Handler handler) : shared_(std::make_shared<Shared>()) {
    shared_->handler = std::move(handler);
}

DirectoryServer::~DirectoryServer() {
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->loop) {
            QEventLoop *loop = shared_->loop;
            QMetaObject::invokeMethod(
                shared_->worker, [loop] { loop->quit(); }, Qt::QueuedConnection);
        }
    }
    if (thread_.joinable())
        thread_.join();
}

bool DirectoryServer::start() {
    std::promise<quint16> ready;
    std::future<quint16> port = ready.get_future();
    thread_ = std::thread([shared = shared_, &ready] {
        QEventLoop loop;
        Worker worker(*shared);
        const quint16 p = worker.listen();
        {
            std::lock_guard lock(shared->mutex);
            shared->worker = &worker;
            shared->loop = &loop;
        }
        ready.set_value(p);
        if (p)
            loop.exec();
        std::lock_guard lock(shared->mutex);
        shared->worker = nullptr;
        shared->loop = nullptr;
    });
    port_ = port.get();
    return port_ != 0;
}

QString DirectoryServer::base() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(port_);
}

QList<HttpRequest> DirectoryServer::requests() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->requests;
}

int DirectoryServer::count(const QString &path) const {
    std::lock_guard lock(shared_->mutex);
    return int(std::count_if(shared_->requests.begin(), shared_->requests.end(),
                             [&](const HttpRequest &r) { return r.path == path; }));
}

quint16 DirectoryServer::closedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

QJsonObject DirectoryServer::station(const QString &uuid, const QString &name, const QString &url,
                                     const QString &tags, const QString &country, int clicks) {
    return QJsonObject{{QStringLiteral("stationuuid"), uuid},
                       {QStringLiteral("name"), name},
                       {QStringLiteral("url"), url},
                       {QStringLiteral("url_resolved"), url},
                       {QStringLiteral("homepage"), QStringLiteral("https://home.example/") + uuid},
                       {QStringLiteral("favicon"), QString()},
                       {QStringLiteral("tags"), tags},
                       {QStringLiteral("countrycode"), country},
                       {QStringLiteral("language"), QString()},
                       {QStringLiteral("codec"), QStringLiteral("MP3")},
                       {QStringLiteral("bitrate"), 128},
                       {QStringLiteral("lastcheckok"), 1},
                       {QStringLiteral("clickcount"), clicks},
                       {QStringLiteral("votes"), 0}};
}

DirectoryServer::Handler DirectoryServer::directoryOf(const QJsonArray &stations) {
    return [stations](const HttpRequest &r) -> HttpReply {
        const auto text = [](const QJsonValue &v) { return v.toString().toLower(); };
        if (r.path == QLatin1String("/json/stations/search")) {
            const QString name = r.query.value(QStringLiteral("name")).toLower();
            const QString tag = r.query.value(QStringLiteral("tag")).toLower();
            const QString country = r.query.value(QStringLiteral("countrycode")).toLower();
            QList<QJsonObject> found;
            for (const QJsonValue &v : stations) {
                const QJsonObject s = v.toObject();
                if (text(s.value(QStringLiteral("name"))).contains(name) &&
                    text(s.value(QStringLiteral("tags"))).contains(tag) &&
                    (country.isEmpty() || text(s.value(QStringLiteral("countrycode"))) == country))
                    found.append(s);
            }
            if (r.query.value(QStringLiteral("order")) == QLatin1String("clickcount")) {
                const bool reverse = r.query.value(QStringLiteral("reverse")) == QLatin1String("true");
                std::stable_sort(found.begin(), found.end(),
                                 [reverse](const QJsonObject &a, const QJsonObject &b) {
                                     const int ca = a.value(QStringLiteral("clickcount")).toInt();
                                     const int cb = b.value(QStringLiteral("clickcount")).toInt();
                                     return reverse ? ca > cb : ca < cb;
                                 });
            }
            QJsonArray all;
            for (const QJsonObject &s : found)
                all.append(s);
            return json(take(all, r));
        }
        if (r.path == QLatin1String("/json/tags") || r.path == QLatin1String("/json/countries")) {
            const bool tags = r.path == QLatin1String("/json/tags");
            QMap<QString, int> counts;
            for (const QJsonValue &v : stations) {
                const QJsonObject s = v.toObject();
                if (tags) {
                    for (const QString &t :
                         s.value(QStringLiteral("tags")).toString().split(QLatin1Char(',')))
                        if (!t.trimmed().isEmpty())
                            ++counts[t.trimmed()];
                } else if (!s.value(QStringLiteral("countrycode")).toString().isEmpty()) {
                    ++counts[s.value(QStringLiteral("countrycode")).toString()];
                }
            }
            QJsonArray all;
            for (auto it = counts.begin(); it != counts.end(); ++it)
                all.append(tags ? QJsonObject{{QStringLiteral("name"), it.key()},
                                              {QStringLiteral("stationcount"), it.value()}}
                                : QJsonObject{{QStringLiteral("name"), QStringLiteral("Land ") + it.key()},
                                              {QStringLiteral("iso_3166_1"), it.key()},
                                              {QStringLiteral("stationcount"), it.value()}});
            return json(take(all, r));
        }
        if (r.path.startsWith(QLatin1String("/json/url/"))) {
            const QString uuid = r.path.mid(10);
            for (const QJsonValue &v : stations)
                if (v.toObject().value(QStringLiteral("stationuuid")).toString() == uuid)
                    return {HttpReply::Kind::Normal, 200, "application/json",
                            QJsonDocument(QJsonObject{{QStringLiteral("ok"), true},
                                                      {QStringLiteral("message"),
                                                       QStringLiteral("retrieved station url")},
                                                      {QStringLiteral("stationuuid"), uuid}})
                                .toJson(QJsonDocument::Compact)};
        }
        return {HttpReply::Kind::Normal, 404, "text/plain", "not found"};
    };
}

} // namespace varnelo::test
