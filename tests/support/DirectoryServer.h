#pragma once
#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <functional>
#include <memory>
#include <thread>

namespace varnelo::test {

struct HttpRequest {
    QByteArray method;
    QString path;                 // without the query
    QMap<QString, QString> query; // decoded as a form decodes it ('+' is a blank)
    QList<QByteArray> headerLines;
    QByteArray header(const QByteArray &name) const; // case-insensitive, value trimmed
};

struct HttpReply {
    enum class Kind {
        Normal,  // status, headers and body, then the connection closes
        Stall,   // nothing is ever sent; the connection stays open
        Endless, // a 200 header without length, then bytes until the client leaves
    };
    Kind kind = Kind::Normal;
    int status = 200;
    QByteArray contentType = "application/json";
    QByteArray body;
};

// A small HTTP server on 127.0.0.1 with a thread of its own. Each request is
// answered by the handler, which runs on the server's thread.
class DirectoryServer {
public:
    using Handler = std::function<HttpReply(const HttpRequest &)>;
    explicit DirectoryServer(Handler handler);
    ~DirectoryServer();
    DirectoryServer(const DirectoryServer &) = delete;
    DirectoryServer &operator=(const DirectoryServer &) = delete;

    bool start();
    quint16 port() const { return port_; }
    QString base() const; // "http://127.0.0.1:<port>"

    QList<HttpRequest> requests() const;
    int count(const QString &path) const;

    // A directory of these station objects answering as the real one does:
    // /json/stations/search (name, tag and countrycode as case-insensitive
    // filters, order=clickcount with reverse, offset and limit), /json/tags,
    // /json/countries and /json/url/<id>.
    static Handler directoryOf(const QJsonArray &stations);
    // A station object of the directory's form.
    static QJsonObject station(const QString &uuid, const QString &name, const QString &url,
                               const QString &tags = {}, const QString &country = {}, int clicks = 0);

    // A port of 127.0.0.1 on which nothing listens (connections are refused).
    static quint16 closedPort();

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
    quint16 port_ = 0;
};

} // namespace varnelo::test
