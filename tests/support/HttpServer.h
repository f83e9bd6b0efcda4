#pragma once
// The tests' one HTTP server: 127.0.0.1, an ephemeral port, a thread of its own;
// every request is answered by a handler that runs on the server's side.
#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace varnelo::test {

struct HttpRequest {
    QByteArray method;
    QString path;                 // without the query
    QByteArray rawQuery;          // as sent
    QMap<QString, QString> query; // decoded as a form decodes it ('+' is a blank)
    QList<QByteArray> headerLines;
    qint64 atMs = 0;                                 // since the server started
    QByteArray header(const QByteArray &name) const; // case-insensitive, value trimmed
};

struct HttpReply {
    enum class Kind {
        Normal,  // status, headers and body, then the connection closes
        Stall,   // nothing is ever sent; the connection stays open
        Endless, // a 200 header without length, the body, then filler until the client leaves
    };
    int status = 200;
    QByteArray body;
    QByteArray contentType = "text/plain; charset=utf-8";
    Kind kind = Kind::Normal;
    bool withLength = true; // false: the body ends when the connection closes
};

class HttpServer {
public:
    using Handler = std::function<HttpReply(const HttpRequest &)>;
    explicit HttpServer(Handler handler);
    ~HttpServer();
    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;

    bool start();
    quint16 port() const { return port_; }
    QString url(const QString &path = {}) const; // "http://127.0.0.1:<port><path>"
    QString base() const { return url(); }
    QList<HttpRequest> requests() const;
    int count(const QString &path) const;

    // A port on 127.0.0.1 nothing listens on (connections are refused).
    static quint16 closedPort();

private:
    void run();
    void serve(int fd);

    Handler handler_;
    int listenFd_ = -1;
    quint16 port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::vector<std::thread> connections_;
    mutable std::mutex mutex_;
    QList<HttpRequest> requests_;
    qint64 startMs_ = 0;
};

} // namespace varnelo::test
